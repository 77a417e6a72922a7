// quillmark-cli virtual-printer: a virtual printer that senders reach through a FIFO or a
// TCP port, on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <list>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/Jobs.h"
#include "cli/Messages.h"
#include "cli/PrinterFolder.h"
#include "commands/FileCommands.h"
#include "files/FileHandle.h"
#include "raster/PngWriter.h"
#include "state/PrinterModels.h"
#include "virtualprinter/NvMemory.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark::cli {
namespace {

// Non-blocking, and closed across exec.
void PrepareDescriptor(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// SIGINT and SIGTERM, while an object lives, write a byte into a pipe that the job loop
// watches beside its input; the previous handlers come back when it goes.
int gSignalPipe = -1;

extern "C" void NoteStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (gSignalPipe >= 0) [[maybe_unused]]
    const ssize_t ignored = ::write(gSignalPipe, &byte, 1);
  errno = saved;
}

class StopSignals {
 public:
  StopSignals() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    read_ = FileHandle(fds[0]);
    write_ = FileHandle(fds[1]);
    for (int fd : fds)
      PrepareDescriptor(fd);
    gSignalPipe = write_.get();
    struct sigaction action {};
    action.sa_handler = &NoteStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInt_);
    ::sigaction(SIGTERM, &action, &previousTerm_);
    installed_ = true;
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  ~StopSignals() {
    if (!installed_) return;
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    gSignalPipe = -1;
  }
  bool ok() const noexcept { return installed_; }
  int fd() const noexcept { return read_.get(); }
  bool Raised() const noexcept {
    pollfd watch{read_.get(), POLLIN, 0};
    return ::poll(&watch, 1, 0) > 0;
  }

 private:
  FileHandle read_;
  FileHandle write_;
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
  bool installed_ = false;
};

// Waits until `fd` has something to read or a stop signal came; false on the signal.
// `timeoutMs` -1 waits without limit; `timedOut` tells a wait that ended by time.
bool WaitReadable(int fd, const StopSignals& signals, int timeoutMs, bool* timedOut = nullptr,
                  bool* hangUp = nullptr) {
  for (;;) {
    std::array<pollfd, 2> watch = {pollfd{fd, POLLIN, 0}, pollfd{signals.fd(), POLLIN, 0}};
    const int ready = ::poll(watch.data(), watch.size(), timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (watch[1].revents != 0) return false;
    if (timedOut != nullptr) *timedOut = ready == 0;
    if (hangUp != nullptr) *hangUp = (watch[0].revents & POLLHUP) != 0;
    return true;
  }
}

std::string DescribeFileFailure(const std::string& path, FileError error) {
  FileCommandOutcome outcome;
  outcome.result = FileCommandResult::kWriteError;
  outcome.failure = FileCommandFailure::kFileSystem;
  outcome.io = std::move(error);
  outcome.path = path;
  return DescribeOutcome(outcome);
}

// The printer and everything that happens between jobs: the log, the sheets, the NV store.
// Sheets and the store are written only relative to their folders' descriptors, never
// through a link planted there, and a sheet never replaces a file.
class Station {
 public:
  Station(const VirtualPrinterJob& job, const PrinterModel& model, Io& io)
      : job_(job), printer_(VirtualPrinterConfigFor(model)), io_(io) {}

  bool Start() {
    if (!job_.nvStore.empty() && !OpenStore()) return false;
    std::string why;
    sheets_ = PrinterFolder::Open(job_.outputDir, true, why);
    if (!sheets_) {
      PrintMessage(io_.err, UserMessage::kWriteError,
                   "cannot create the folder " + job_.outputDir + ": " + why);
      return false;
    }
    const PrinterFolder::Sheets found = sheets_->ScanSheets();
    nextNumber_ = found.highest + 1;
    sheetBytes_ = found.bytes;
    return true;
  }

  void BeginJob(const std::string& from) {
    jobStart_ = printer_.bytesFed();
    from_ = from;
  }
  void Feed(std::span<const std::uint8_t> bytes) { printer_.Feed(bytes); }
  std::uint64_t jobBytes() const noexcept { return printer_.bytesFed() - jobStart_; }

  // Ends the job: its log, its sheet, the NV store. `note`, when not empty, is a line
  // about how the job arrived. False when a file could not be written.
  bool EndJob(const std::string& note = {}) {
    const std::uint64_t number = NextFreeNumber();
    ++jobsDone_;
    Paper paper = printer_.TakePaper();
    io_.out << "job " << number << ": " << jobBytes() << " bytes" << from_ << '\n';
    if (!note.empty()) io_.out << "  " << note << '\n';
    for (PrinterEvent event : printer_.events()) {
      event.offset -= jobStart_;
      io_.out << "  " << DescribeEvent(event) << '\n';
    }
    if (printer_.droppedEvents() != 0)
      io_.out << "  (" << printer_.droppedEvents() << " more log entries not shown)\n";
    printer_.ClearEvents();
    bool ok = true;
    if (paper.height() == 0) {
      io_.out << "job " << number << ": nothing printed\n";
    } else {
      ok = WriteSheet(number, paper);
    }
    ok = SaveStore() && ok;
    io_.out.flush();
    return ok;
  }

  bool SaveStore() {
    if (!store_) return true;
    const std::string path = store_->PathOf(storeName_);
    const std::optional<ByteBlock> bytes = EncodeNvStore(printer_.nvMemory());
    FileError error;
    const PrinterFolder::Put put =
        bytes ? store_->Replace(storeName_, bytes->bytes(), error) : PrinterFolder::Put::kFailed;
    if (!bytes)
      error = {FileStep::kWrite, std::make_error_code(std::errc::not_enough_memory), path};
    if (put == PrinterFolder::Put::kDone) return true;
    if (put == PrinterFolder::Put::kLink) {
      PrintMessage(io_.err, UserMessage::kWriteError,
                   "the NV store " + path +
                       " is a symbolic link: not written, and what it points to is left alone");
    } else {
      PrintMessage(io_.err, UserMessage::kWriteError, DescribeFileFailure(path, std::move(error)));
    }
    return false;
  }

  bool Finished() const noexcept { return job_.jobs != 0 && jobsDone_ >= job_.jobs; }
  const VirtualPrinter& printer() const noexcept { return printer_; }

 private:
  bool OpenStore() {
    const std::filesystem::path path(job_.nvStore);
    storeName_ = path.filename().string();
    const std::string parent = path.has_parent_path() ? path.parent_path().string() : ".";
    std::string why;
    store_ = PrinterFolder::Open(parent, false, why);
    if (!store_ || storeName_.empty() || storeName_ == "." || storeName_ == "..") {
      PrintMessage(
          io_.err, UserMessage::kReadError,
          "the NV store " + job_.nvStore + ": " +
              (store_ ? "names a folder, not a file" : "its folder " + parent + ": " + why));
      return false;
    }
    std::string target;
    if (store_->Look(storeName_, &target) == PrinterFolder::Entry::kLink) {
      PrintMessage(io_.err, UserMessage::kReadError,
                   "the NV store " + job_.nvStore + " is a symbolic link (to " + target +
                       "); the virtual printer keeps its store only in a file of its own");
      return false;
    }
    const NvStoreError loaded =
        LoadNvStore(job_.nvStore, printer_.config().nvCapacity, printer_.nvMemory());
    if (loaded == NvStoreError::kNotFound) {
      io_.out << "NV store " << job_.nvStore << " not found: the NV memory starts empty\n";
    } else if (loaded != NvStoreError::kNone) {
      PrintMessage(io_.err, UserMessage::kReadError,
                   "the NV store " + job_.nvStore + ": " + std::string(NvStoreErrorText(loaded)) +
                       "; remove it or name another with --nv-store");
      return false;
    } else {
      io_.out << "NV store " << job_.nvStore << ": " << printer_.nvMemory().count()
              << " image(s) defined\n";
    }
    return true;
  }

  // The next number whose sheet name is free, past any planted there meanwhile (a link
  // among them is reported: it is never written through).
  std::uint64_t NextFreeNumber() {
    for (;; ++nextNumber_) {
      std::string target;
      const PrinterFolder::Entry entry = sheets_->Look(SheetName(nextNumber_), &target);
      if (entry == PrinterFolder::Entry::kMissing) return nextNumber_++;
      if (entry == PrinterFolder::Entry::kLink)
        io_.out << SheetName(nextNumber_) << " in " << job_.outputDir << " is a symbolic link (to "
                << target << "): refused, left alone, and the number skipped\n";
    }
  }

  bool WriteSheet(std::uint64_t number, const Paper& paper) {
    const std::optional<ByteBlock> png = EncodePng(paper.View());
    const std::string wanted = sheets_->PathOf(SheetName(number));
    if (!png) {
      PrintMessage(io_.err, UserMessage::kWriteError,
                   DescribeFileFailure(
                       wanted, {FileStep::kWrite,
                                std::make_error_code(std::errc::not_enough_memory), wanted}));
      return false;
    }
    if (sheetBytes_ + png->size() > job_.maxDiskBytes) {
      sheetBytes_ = sheets_->ScanSheets().bytes;  // sheets removed meanwhile free their room
      if (sheetBytes_ + png->size() > job_.maxDiskBytes) {
        io_.out << "job " << number << ": sheet not written: the sheets in " << job_.outputDir
                << " take " << sheetBytes_ << " bytes, and this one (" << png->size()
                << " bytes) would pass the --max-disk budget of " << job_.maxDiskBytes
                << " bytes\n";
        return true;
      }
    }
    // A name taken between the look and the write is never overwritten: the next is used.
    for (std::uint64_t n = number;; n = NextFreeNumber()) {
      FileError error;
      const PrinterFolder::Put put = sheets_->CreateNew(SheetName(n), png->bytes(), error);
      if (put == PrinterFolder::Put::kDone) {
        sheetBytes_ += png->size();
        io_.out << "job " << number << ": printed " << paper.width() << " x " << paper.height()
                << " dots: " << sheets_->PathOf(SheetName(n)) << '\n';
        return true;
      }
      if (put != PrinterFolder::Put::kTaken) {
        PrintMessage(io_.err, UserMessage::kWriteError,
                     DescribeFileFailure(wanted, std::move(error)));
        return false;
      }
    }
  }

  const VirtualPrinterJob& job_;
  VirtualPrinter printer_;
  Io& io_;
  std::optional<PrinterFolder> sheets_;
  std::optional<PrinterFolder> store_;
  std::string storeName_;
  std::uint64_t nextNumber_ = 1;
  std::uint64_t sheetBytes_ = 0;
  unsigned jobsDone_ = 0;
  std::uint64_t jobStart_ = 0;
  std::string from_;
};

constexpr std::size_t kReadChunk = 65536;

// Jobs through a FIFO: a job is everything written from the first byte until no writer
// has the FIFO open any more.
bool ServeFifo(const std::string& path, Station& station, const StopSignals& signals, Io& io) {
  auto openReader = [&path] {
    return FileHandle(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  };
  FileHandle fd = openReader();
  if (!fd.valid()) {
    PrintMessage(io.err, UserMessage::kReadError,
                 "cannot open the FIFO " + path + ": " + std::strerror(errno));
    return false;
  }
  io.out << "ready: reading jobs from the FIFO " << path << '\n';
  io.out.flush();

  std::array<std::uint8_t, kReadChunk> buffer;
  bool inJob = false;
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    if (got > 0) {
      if (!inJob) station.BeginJob("");
      inJob = true;
      station.Feed({buffer.data(), static_cast<std::size_t>(got)});
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      PrintMessage(io.err, UserMessage::kReadError,
                   "reading the FIFO " + path + ": " + std::strerror(errno));
      if (inJob) station.EndJob();
      return false;
    }
    const bool noWriter = got == 0;
    if (noWriter && inJob) {
      inJob = false;
      ok = station.EndJob() && ok;
      if (station.Finished()) return ok;
    }
    if (noWriter) {
      // A FIFO whose writers have gone keeps reporting a hang-up; a new reader does not,
      // and since it is opened before the old one closes, no writer ever finds the FIFO
      // without a reader and nothing written meanwhile is lost.
      FileHandle next = openReader();
      if (next.valid()) fd = std::move(next);
    }
    // While a job runs, the wait is short: a writer that came and went in the moment the
    // reader was renewed leaves no hang-up to wake it, only an empty read.
    if (!WaitReadable(fd.get(), signals, inJob ? 200 : -1)) {
      if (inJob) ok = station.EndJob() && ok;
      return ok;
    }
  }
}

// How much of the senders' bytes the TCP server holds before printing them. The largest
// download Quillmark makes is 23.6 MB.
constexpr std::size_t kMaxJobBytes = std::size_t{32} << 20;
constexpr std::size_t kMaxHeldBytes = std::size_t{256} << 20;
// Connections served at once; more wait in the listen queue.
constexpr std::size_t kMaxConnections = 128;

using Clock = std::chrono::steady_clock;

// One connection, one job. Its bytes are held until it ends, and jobs print in the order
// their connections end, so a sender that is slow or silent delays nobody else.
struct Connection {
  FileHandle fd;
  std::string from;
  std::vector<std::uint8_t> bytes;
  std::uint64_t dropped = 0;  // bytes read past what could be held
  Clock::time_point lastHeard;
};

struct EndedJob {
  std::string from;
  std::vector<std::uint8_t> bytes;
  std::string note;
};

// Listens on `listen`; empty, with the reason printed, when it cannot.
FileHandle Listen(const std::string& listen, Io& io) {
  std::string why;
  const std::optional<TcpAddress> address = ParseTcpAddress(listen, why, true);
  if (!address) {
    io.err << "--listen " << listen << ": " << why << '\n';
    return FileHandle();
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int resolved =
      ::getaddrinfo(address->host.c_str(), std::to_string(address->port).c_str(), &hints, &found);
  if (resolved != 0) {
    io.err << "cannot listen on " << listen << ": " << ::gai_strerror(resolved) << '\n';
    return FileHandle();
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, &::freeaddrinfo);
  FileHandle server;
  int error = 0;
  for (const addrinfo* a = list.get(); a != nullptr && !server.valid(); a = a->ai_next) {
    FileHandle candidate(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (candidate.valid()) PrepareDescriptor(candidate.get());
    const int on = 1;
    // The whole queue the system allows: a burst of senders waits there, and none is
    // dropped while the printer is busy with the others.
    if (candidate.valid() &&
        ::setsockopt(candidate.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
        ::bind(candidate.get(), a->ai_addr, a->ai_addrlen) == 0 &&
        ::listen(candidate.get(), SOMAXCONN) == 0) {
      server = std::move(candidate);
    } else {
      error = errno;
    }
  }
  if (!server.valid()) {
    io.err << "cannot listen on " << listen << ": " << std::strerror(error) << '\n';
    return server;
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(server.get(), reinterpret_cast<sockaddr*>(&bound), &length);
  char port[16] = "";
  ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, nullptr, 0, port, sizeof port,
                NI_NUMERICSERV);
  TcpAddress actual = *address;
  const long number = std::strtol(port, nullptr, 10);
  if (number > 0 && number <= 65535) actual.port = static_cast<std::uint16_t>(number);
  io.out << "ready: listening on " << FormatTcpAddress(actual) << '\n';
  io.out.flush();
  return server;
}

class TcpServer {
 public:
  TcpServer(FileHandle listener, Station& station, const StopSignals& signals,
            std::chrono::seconds idle, Io& io)
      : listener_(std::move(listener)),
        station_(station),
        signals_(signals),
        idle_(idle),
        io_(io) {}

  // Serves until a stop signal or the last of --jobs; false when a file could not be written.
  bool Run() {
    for (;;) {
      if (!PrintEnded()) return ok_;
      std::vector<pollfd> watch = {{signals_.fd(), POLLIN, 0}, {-1, POLLIN, 0}};
      if (open_.size() < kMaxConnections) watch[1].fd = listener_.get();
      for (const Connection& c : open_)
        watch.push_back({c.fd.get(), POLLIN, 0});
      const int ready = ::poll(watch.data(), watch.size(), WaitMs());
      if (ready < 0 && errno != EINTR) return false;
      if (ready > 0 && watch[0].revents != 0) break;
      if (ready > 0 && watch[1].revents != 0) Accept();
      // The connections polled are the first watch.size() - 2 of open_: Accept appends.
      const Clock::time_point now = Clock::now();
      std::size_t index = 0;
      for (auto c = open_.begin(); c != open_.end(); ++index) {
        const bool heard = index + 2 < watch.size() && watch[index + 2].revents != 0;
        if (heard && Drain(*c)) {
          c = End(c, {});
        } else if (!heard && now - c->lastHeard >= idle_) {
          c = End(c, "nothing received for " + std::to_string(idle_.count()) +
                         " s: connection closed by the printer");
        } else {
          ++c;
        }
      }
    }
    // Stopping: what the senders still connected have sent prints too, oldest first.
    while (!open_.empty())
      End(open_.begin(), "connection closed: the virtual printer is stopping");
    PrintEnded();
    return ok_;
  }

 private:
  int WaitMs() const {
    if (open_.empty()) return -1;
    Clock::time_point first = open_.front().lastHeard;
    for (const Connection& c : open_)
      first = std::min(first, c.lastHeard);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(first + idle_ - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 60000));
  }

  void Accept() {
    while (open_.size() < kMaxConnections) {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      FileHandle fd(::accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length));
      if (!fd.valid()) return;  // none waiting, or the sender gave up meanwhile
      PrepareDescriptor(fd.get());
      char host[NI_MAXHOST] = "";
      char service[NI_MAXSERV] = "";
      ::getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
      open_.push_back(
          {std::move(fd), std::string(" from ") + host + ":" + service, {}, 0, Clock::now()});
    }
  }

  // Reads what has come; true when the sender has closed (or reset) the connection.
  bool Drain(Connection& c) {
    for (int reads = 0; reads < 16; ++reads) {  // then the others get their turn
      const ssize_t got = ::recv(c.fd.get(), buffer_.data(), buffer_.size(), 0);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
      if (got <= 0) return true;
      c.lastHeard = Clock::now();
      const auto size = static_cast<std::size_t>(got);
      // Past either limit the job is cut there: the rest is read, and dropped.
      if (c.dropped == 0 && c.bytes.size() + size <= kMaxJobBytes &&
          held_ + size <= kMaxHeldBytes) {
        c.bytes.insert(c.bytes.end(), buffer_.begin(), buffer_.begin() + got);
        held_ += size;
      } else {
        c.dropped += size;
      }
    }
    return false;
  }

  // Closes the connection and queues its job; returns the connection after it.
  std::list<Connection>::iterator End(std::list<Connection>::iterator c, std::string note) {
    if (c->dropped != 0) {
      if (!note.empty()) note += "; ";
      note += "only the first " + std::to_string(c->bytes.size()) + " bytes were kept (a job may " +
              "hold " + std::to_string(kMaxJobBytes >> 20) + " MiB, all jobs not yet printed " +
              std::to_string(kMaxHeldBytes >> 20) + " MiB); the " + std::to_string(c->dropped) +
              " bytes after them were read and dropped";
    }
    if (!c->bytes.empty() || c->dropped != 0) {
      ended_.push_back({c->from, std::move(c->bytes), std::move(note)});
    } else if (!note.empty()) {
      io_.out << "connection" << c->from << ": " << note << '\n';
      io_.out.flush();
    }
    return open_.erase(c);  // closed before the sheet is written: the sender may go
  }

  // Prints the jobs whose connections have ended, in that order; false once --jobs are done.
  bool PrintEnded() {
    while (!ended_.empty()) {
      EndedJob job = std::move(ended_.front());
      ended_.pop_front();
      held_ -= job.bytes.size();
      station_.BeginJob(job.from);
      station_.Feed(job.bytes);
      ok_ = station_.EndJob(job.note) && ok_;
      if (station_.Finished()) return false;
    }
    return true;
  }

  FileHandle listener_;
  Station& station_;
  const StopSignals& signals_;
  const std::chrono::seconds idle_;
  Io& io_;
  std::list<Connection> open_;
  std::deque<EndedJob> ended_;
  std::size_t held_ = 0;
  bool ok_ = true;
  std::array<std::uint8_t, kReadChunk> buffer_{};
};

bool ServeTcp(const std::string& listen, Station& station, const StopSignals& signals,
              std::chrono::seconds idle, Io& io) {
  FileHandle listener = Listen(listen, io);
  if (!listener.valid()) return false;
  return TcpServer(std::move(listener), station, signals, idle, io).Run();
}

}  // namespace

int RunVirtualPrinter(const VirtualPrinterJob& job, Io& io) {
  const std::optional<PrinterModel> model = PrinterModelByCode(job.model.code);
  if (!model) {
    io.err << "the virtual printer needs a printer model (A2, A4, B1 or W4)\n";
    return kExitUsage;
  }
  Station station(job, *model, io);
  if (!station.Start()) return kExitFailed;

  bool createdFifo = false;
  if (!job.fifo.empty()) {
    struct stat info {};
    if (::stat(job.fifo.c_str(), &info) == 0) {
      if (!S_ISFIFO(info.st_mode)) {
        PrintMessage(io.err, UserMessage::kReadError,
                     job.fifo + " exists and is not a FIFO; name another path");
        return kExitFailed;
      }
    } else if (::mkfifo(job.fifo.c_str(), 0666) == 0) {
      createdFifo = true;
    } else {
      PrintMessage(io.err, UserMessage::kWriteError,
                   "cannot create the FIFO " + job.fifo + ": " + std::strerror(errno));
      return kExitFailed;
    }
  }

  const VirtualPrinterConfig& config = station.printer().config();
  io.out << "virtual printer " << model->code << ": " << config.widthDots << " dots across, "
         << config.nvCapacity << " bytes of NV memory; sheets go to " << job.outputDir << '\n';

  bool ok = false;
  {
    const StopSignals signals;
    if (!signals.ok()) {
      io.err << "cannot watch for SIGINT and SIGTERM: " << std::strerror(errno) << '\n';
    } else if (!job.fifo.empty()) {
      ok = ServeFifo(job.fifo, station, signals, io);
    } else {
      ok = ServeTcp(job.listen, station, signals, std::chrono::seconds(job.idleTimeoutSeconds), io);
    }
  }
  ok = station.SaveStore() && ok;
  if (createdFifo) ::unlink(job.fifo.c_str());
  io.out << "virtual printer stopped\n";
  io.out.flush();
  return ok ? kExitOk : kExitFailed;
}

}  // namespace quillmark::cli
