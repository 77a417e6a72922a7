// The virtual printer as a server: 150 clients connect at once over loopback, each sends a
// 7-byte job and closes. Measures how many sheets come out, how fast, and the PNG bytes a
// printed row costs. Runs the real quillmark-cli; by hand, never as a test:
//
//   build/default/bench/virtualprinter/bench_virtualprinter_server [CLIENTS]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Be32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
         static_cast<unsigned char>(bytes[at + 3]);
}

// One client: connect, send the job, close. False when it could not.
bool SendJob(int port, int number) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  char job[16];
  const int length = std::snprintf(job, sizeof job, "Job %02d\n", number % 100);  // 7 bytes
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::send(fd, job, static_cast<std::size_t>(length), MSG_NOSIGNAL) == length;
  return ::close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int clients = argc > 1 ? std::atoi(argv[1]) : 150;
  const fs::path dir =
      fs::temp_directory_path() / ("qm-server-bench-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sheets");
  const std::string log = (dir / "printer.log").string();

  std::vector<std::string> words = {QUILLMARK_CLI, "virtual-printer",
                                    "--listen",    "tcp:127.0.0.1:0",
                                    "-o",          (dir / "sheets").string()};
  std::vector<char*> args;
  for (std::string& word : words)
    args.push_back(word.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT, 0600);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t printer = -1;
  if (::posix_spawn(&printer, args[0], &actions, nullptr, args.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", QUILLMARK_CLI);
    return 1;
  }
  ::posix_spawn_file_actions_destroy(&actions);

  int port = 0;
  for (int tries = 0; tries < 500 && port == 0; ++tries) {
    const std::string text = ReadAll(log);
    const std::size_t at = text.find("ready: listening on tcp:127.0.0.1:");
    if (at != std::string::npos) port = std::atoi(text.c_str() + at + 34);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (port == 0) {
    std::fprintf(stderr, "the virtual printer did not start:\n%s", ReadAll(log).c_str());
    ::kill(printer, SIGKILL);
    return 1;
  }

  const auto start = Clock::now();
  std::vector<std::thread> threads;
  std::vector<char> sent(static_cast<std::size_t>(clients));
  for (int i = 0; i < clients; ++i)
    threads.emplace_back(
        [&sent, port, i] { sent[static_cast<std::size_t>(i)] = SendJob(port, i); });
  for (std::thread& thread : threads)
    thread.join();
  int succeeded = 0;
  for (char ok : sent)
    succeeded += ok;

  // Sheets are counted until all have come or none has come for 10 s.
  auto sheets = [&dir] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir / "sheets"))
      count += entry.path().extension() == ".png";
    return count;
  };
  int printed = 0;
  auto last = Clock::now();
  auto lastChange = last;
  while (printed < clients && Clock::now() - lastChange < std::chrono::seconds(10)) {
    const int now = sheets();
    if (now != printed) {
      printed = now;
      last = lastChange = Clock::now();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const double seconds = std::chrono::duration<double>(last - start).count();
  ::kill(printer, SIGTERM);
  ::waitpid(printer, nullptr, 0);

  std::uint64_t pngBytes = 0, rows = 0;
  for (const auto& entry : fs::directory_iterator(dir / "sheets")) {
    const std::string png = ReadAll(entry.path());
    if (png.size() < 24) continue;
    pngBytes += png.size();
    rows += Be32(png, 20);  // IHDR height
  }
  std::printf("clients %d, sent %d, sheets %d in %.3f s: %.0f sheets/s\n", clients, succeeded,
              printed, seconds, seconds > 0 ? printed / seconds : 0.0);
  if (rows != 0)
    std::printf("PNG bytes per printed row: %.2f (%llu bytes, %llu rows)\n",
                static_cast<double>(pngBytes) / static_cast<double>(rows),
                static_cast<unsigned long long>(pngBytes), static_cast<unsigned long long>(rows));
  fs::remove_all(dir);
  return printed == clients ? 0 : 2;
}
