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

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>

#include "cli/Jobs.h"
#include "commands/FileCommands.h"
#include "dialogs/PrinterModels.h"
#include "port/posix/UniqueFd.h"
#include "virtualprinter/NvMemory.h"
#include "virtualprinter/PngWriter.h"
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
    read_ = UniqueFd(fds[0]);
    write_ = UniqueFd(fds[1]);
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
  UniqueFd read_;
  UniqueFd write_;
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

std::string JobFileName(unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "job-%04u.png", number);
  return name;
}

// The number after the highest job-NNNN.png already in `dir`, so that a new run never
// writes over the sheets of an earlier one.
unsigned FirstFreeJobNumber(const std::filesystem::path& dir) {
  unsigned highest = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 9 || name.rfind("job-", 0) != 0 || name.substr(name.size() - 4) != ".png")
      continue;
    const std::string digits = name.substr(4, name.size() - 8);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    highest = std::max(highest, static_cast<unsigned>(std::stoul(digits)));
  }
  return highest + 1;
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
class Station {
 public:
  Station(const VirtualPrinterJob& job, const PrinterModel& model, Io& io)
      : job_(job), printer_(VirtualPrinterConfigFor(model)), io_(io) {}

  bool Start() {
    if (!job_.nvStore.empty()) {
      const NvStoreError loaded =
          LoadNvStore(job_.nvStore, printer_.config().nvCapacity, printer_.nvMemory());
      if (loaded == NvStoreError::kNotFound) {
        io_.out << "NV store " << job_.nvStore << " not found: the NV memory starts empty\n";
      } else if (loaded != NvStoreError::kNone) {
        io_.err << "Read Error\nthe NV store " << job_.nvStore << ": " << NvStoreErrorText(loaded)
                << "; remove it or name another with --nv-store\n";
        return false;
      } else {
        io_.out << "NV store " << job_.nvStore << ": " << printer_.nvMemory().count()
                << " image(s) defined\n";
      }
    }
    std::error_code error;
    std::filesystem::create_directories(job_.outputDir, error);
    if (error || !std::filesystem::is_directory(job_.outputDir)) {
      io_.err << "Write Error\ncannot create the folder " << job_.outputDir << ": "
              << (error ? error.message() : std::string("a file of that name is in the way"))
              << '\n';
      return false;
    }
    nextNumber_ = FirstFreeJobNumber(job_.outputDir);
    return true;
  }

  void BeginJob(const std::string& from) {
    jobStart_ = printer_.bytesFed();
    from_ = from;
  }
  void Feed(std::span<const std::uint8_t> bytes) { printer_.Feed(bytes); }
  std::uint64_t jobBytes() const noexcept { return printer_.bytesFed() - jobStart_; }

  // Ends the job: its log, its sheet, the NV store. False when a file could not be written.
  bool EndJob() {
    const unsigned number = nextNumber_++;
    ++jobsDone_;
    Paper paper = printer_.TakePaper();
    io_.out << "job " << number << ": " << jobBytes() << " bytes" << from_ << '\n';
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
      const std::string path =
          (std::filesystem::path(job_.outputDir) / JobFileName(number)).string();
      if (FileError error = WritePngFile(paper.View(), path)) {
        io_.err << "Write Error\n" << DescribeFileFailure(path, std::move(error)) << '\n';
        ok = false;
      } else {
        io_.out << "job " << number << ": printed " << paper.width() << " x " << paper.height()
                << " dots: " << path << '\n';
      }
    }
    ok = SaveStore() && ok;
    io_.out.flush();
    return ok;
  }

  bool SaveStore() {
    if (job_.nvStore.empty()) return true;
    if (FileError error = SaveNvStore(printer_.nvMemory(), job_.nvStore)) {
      io_.err << "Write Error\n" << DescribeFileFailure(job_.nvStore, std::move(error)) << '\n';
      return false;
    }
    return true;
  }

  bool Finished() const noexcept { return job_.jobs != 0 && jobsDone_ >= job_.jobs; }
  const VirtualPrinter& printer() const noexcept { return printer_; }

 private:
  const VirtualPrinterJob& job_;
  VirtualPrinter printer_;
  Io& io_;
  unsigned nextNumber_ = 1;
  unsigned jobsDone_ = 0;
  std::uint64_t jobStart_ = 0;
  std::string from_;
};

constexpr std::size_t kReadChunk = 65536;

// Jobs through a FIFO: a job is everything written from the first byte until no writer
// has the FIFO open any more.
bool ServeFifo(const std::string& path, Station& station, const StopSignals& signals, Io& io) {
  auto openReader = [&path] {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  };
  UniqueFd fd = openReader();
  if (!fd.valid()) {
    io.err << "Read Error\ncannot open the FIFO " << path << ": " << std::strerror(errno) << '\n';
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
      io.err << "Read Error\nreading the FIFO " << path << ": " << std::strerror(errno) << '\n';
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
      UniqueFd next = openReader();
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

// Jobs through TCP: one connection is one job; connections wait their turn.
bool ServeTcp(const std::string& listen, Station& station, const StopSignals& signals, Io& io) {
  std::string why;
  const std::optional<TcpAddress> address = ParseTcpAddress(listen, why, true);
  if (!address) {
    io.err << "--listen " << listen << ": " << why << '\n';
    return false;
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
    return false;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, &::freeaddrinfo);
  UniqueFd server;
  int error = 0;
  for (const addrinfo* a = list.get(); a != nullptr && !server.valid(); a = a->ai_next) {
    UniqueFd candidate(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (candidate.valid()) PrepareDescriptor(candidate.get());
    const int on = 1;
    if (candidate.valid() &&
        ::setsockopt(candidate.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
        ::bind(candidate.get(), a->ai_addr, a->ai_addrlen) == 0 &&
        ::listen(candidate.get(), 8) == 0) {
      server = std::move(candidate);
    } else {
      error = errno;
    }
  }
  if (!server.valid()) {
    io.err << "cannot listen on " << listen << ": " << std::strerror(error) << '\n';
    return false;
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

  std::array<std::uint8_t, kReadChunk> buffer;
  bool ok = true;
  for (;;) {
    if (!WaitReadable(server.get(), signals, -1)) return ok;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    UniqueFd connection(::accept(server.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength));
    if (!connection.valid()) continue;  // the sender gave up meanwhile
    PrepareDescriptor(connection.get());
    char host[NI_MAXHOST] = "";
    char service[NI_MAXSERV] = "";
    ::getnameinfo(reinterpret_cast<sockaddr*>(&peer), peerLength, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
    station.BeginJob(std::string(" from ") + host + ":" + service);
    bool stop = false;
    for (;;) {
      const ssize_t got = ::recv(connection.get(), buffer.data(), buffer.size(), 0);
      if (got > 0) {
        station.Feed({buffer.data(), static_cast<std::size_t>(got)});
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;  // closed or reset
      if (!WaitReadable(connection.get(), signals, -1)) {
        stop = true;
        break;
      }
    }
    const bool anything = station.jobBytes() != 0;
    connection = UniqueFd();  // closed before the sheet is written: the sender may go
    if (anything) {
      ok = station.EndJob() && ok;
      if (station.Finished()) return ok;
    }
    if (stop) return ok;
  }
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
        io.err << "Read Error\n" << job.fifo << " exists and is not a FIFO; name another path\n";
        return kExitFailed;
      }
    } else if (::mkfifo(job.fifo.c_str(), 0666) == 0) {
      createdFifo = true;
    } else {
      io.err << "Write Error\ncannot create the FIFO " << job.fifo << ": " << std::strerror(errno)
             << '\n';
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
      ok = ServeTcp(job.listen, station, signals, io);
    }
  }
  ok = station.SaveStore() && ok;
  if (createdFifo) ::unlink(job.fifo.c_str());
  io.out << "virtual printer stopped\n";
  io.out.flush();
  return ok ? kExitOk : kExitFailed;
}

}  // namespace quillmark::cli
