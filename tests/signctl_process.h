// The controller program run as a process on a fresh state folder, its SNMP
// port on a free host port, for tests that talk to it as a traffic centre
// does, with net-snmp's command-line tools on 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef SIGNCTL_PATH
#define SIGNCTL_PATH "signctl"
#endif

namespace signctl_test {

constexpr auto kBound = std::chrono::seconds(90);

struct run_result {
  int status = -1;  // the exit status, -1 when it did not exit
  std::string output;  // standard output and error
};

// An exec's argument vector of `args`, and its environment with `env`
// ahead of this process's; both point into the strings, which must outlive
// the exec. Made before a fork, since the child may not allocate.
inline std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}
inline std::vector<char*> EnvironmentWith(const std::vector<std::string>& env) {
  std::vector<char*> envp = ArgvOf(env);
  envp.pop_back();
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  return envp;
}

// Starts a program with its standard input on `in` and its output and
// errors on `out` (-1: /dev/null), with `env` ahead of this process's
// environment. posix_spawn, not fork: the child of a threaded process must
// not allocate before its exec, since a lock that another thread held at
// the fork stays held in the child for good. -1 when it could not start.
inline pid_t Spawn(const std::vector<std::string>& args, int in, int out, const std::vector<std::string>& env = {}) {
  if (args.empty()) return -1;
  std::vector<char*> argv = ArgvOf(args);
  std::vector<char*> envp = EnvironmentWith(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in >= 0) {
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (out >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Runs a program to its end and takes what it printed.
inline run_result RunProgram(const std::vector<std::string>& args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  const pid_t pid = Spawn(args, -1, out[1]);
  close(out[1]);
  run_result r;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<size_t>(n));
  close(out[0]);
  if (pid < 0) return r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A loopback port that is free for UDP and TCP at the moment.
inline uint16_t FreePort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    int u = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(u, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(u, reinterpret_cast<sockaddr*>(&a), &len);
    int t = socket(AF_INET, SOCK_STREAM, 0);
    bool ok = bind(t, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(t);
    close(u);
    if (ok) return ntohs(a.sin_port);
  }
  return 0;
}

// A minimal SNMPv1 GET of sysDescr.0 with the community "fernly".
inline std::string ProbeMessage() {
  return std::string("\x30\x26\x02\x01\x00\x04\x06"
                     "fernly"
                     "\xA0\x19\x02\x01\x01\x02\x01\x00\x02\x01\x00\x30\x0E\x30\x0C\x06\x08"
                     "\x2B\x06\x01\x02\x01\x01\x01\x00\x05\x00",
                     40);
}

// The program on a state folder of its own, its SNMP port on a free host
// port given by the folder's net.conf.
class signctl_process {
 public:
  ~signctl_process() { Stop(); }

  // Before Start: the state folder's bench.conf (without one, the factory
  // sign that the tests of the program's objects expect), and a controller
  // port on a host port of its own (else ephemeral).
  void SetBench(const std::string& text) { bench_ = text; }
  void MapPort(unsigned port, uint16_t host_port) { extra_ports_.push_back({port, host_port}); }

  // A second Start after Halt or WaitExit runs the program again on the
  // same state folder, as a restart of the board does.
  bool Start() {
    if (folder_.empty()) {
      char folder[] = "/tmp/signctl-test-XXXXXX";
      if (!mkdtemp(folder)) return false;
      folder_ = folder;
    }
    {
      std::lock_guard<std::mutex> lk(m_);
      output_.clear();
      ended_ = false;
    }
    port_ = FreePort();
    {
      std::ofstream net(folder_ + "/net.conf");
      net << "# every port ephemeral but SNMP's\nephemeral\nport 161 " << port_ << "\n";
      for (const auto& [port, host] : extra_ports_) net << "port " << port << " " << host << "\n";
    }
    if (!bench_.empty()) std::ofstream(folder_ + "/" + "bench.conf") << bench_;
    return Launch();
  }

  // The program ended as at a power-off and started again on the same
  // state folder.
  bool Restart() {
    Halt(SIGTERM);
    {
      std::lock_guard<std::mutex> lk(m_);
      output_.clear();
      ended_ = false;
    }
    return Launch();
  }

 private:
  bool Launch() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = Spawn({SIGNCTL_PATH, "--exit-on-restart", folder_}, in[0], out[1], {"SIGNCTL_RESTART=exit"});
    close(in[0]);
    close(out[1]);
    console_ = in[1];  // kept open: the console reads it
    reader_ = std::thread([this, fd = out[0]] {
      char buf[4096];
      ssize_t n;
      while ((n = read(fd, buf, sizeof buf)) > 0) {
        std::lock_guard<std::mutex> lk(m_);
        output_.append(buf, static_cast<size_t>(n));
        cv_.notify_all();
      }
      close(fd);
      std::lock_guard<std::mutex> lk(m_);
      ended_ = true;
      cv_.notify_all();
    });
    return pid_ > 0 && WaitForOutput("Launching Thread(s)") && WaitForSnmp();
  }

 public:
  void Stop() {
    Halt(SIGTERM);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
    folder_.clear();
  }

  // Ends the program with a signal and keeps its state folder; its wait
  // status.
  int Halt(int signal) {
    if (pid_ > 0) kill(pid_, signal);
    return Reap();
  }
  // Waits for the program to end by itself (a restart ends it with status
  // 64 + the restart kind); its wait status, -1 when it did not end in time.
  int WaitExit() {
    for (auto deadline = std::chrono::steady_clock::now() + kBound; pid_ > 0;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        Reap();
        return status;
      }
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }

  uint16_t Port() const { return port_; }
  // The state folder (the flash image, sign.png, ...).
  const std::string& Folder() const { return folder_; }
  std::string Agent() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Output() {
    std::lock_guard<std::mutex> lk(m_);
    return output_;
  }

  // False also as soon as the program has ended without printing it.
  bool WaitForOutput(const std::string& text) {
    std::unique_lock<std::mutex> lk(m_);
    cv_.wait_for(lk, kBound, [&] { return ended_ || output_.find(text) != std::string::npos; });
    return output_.find(text) != std::string::npos;
  }

 private:
  int Reap() {
    int status = -1;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    if (console_ >= 0) close(console_);
    console_ = -1;
    if (reader_.joinable()) reader_.join();
    return status;
  }

  // The network comes up at the communication task's first step: ask until
  // the agent answers, each try bounded, as a manager retries.
  bool WaitForSnmp() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    timeval tv{0, 500000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    const std::string probe = ProbeMessage();
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    bool answered = false;
    while (!answered && std::chrono::steady_clock::now() < deadline) {
      sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
      char buf[1500];
      answered = recv(fd, buf, sizeof buf, 0) > 0;
    }
    close(fd);
    return answered;
  }

  std::string folder_;
  std::string bench_ = "sign factory\n";
  std::vector<std::pair<unsigned, uint16_t>> extra_ports_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
  int console_ = -1;
  std::thread reader_;
  std::mutex m_;
  std::condition_variable cv_;
  std::string output_;
  bool ended_ = false;  // the program's output has ended
};

}  // namespace signctl_test
