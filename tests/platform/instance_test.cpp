// The single-instance lock, the request channel and the runtime directory.
#include "platform/instance.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/user_dirs.h"
#include "tests/config/temp_dir.h"

namespace hs::platform {
namespace {

using hs::testing::TempDir;
using namespace std::chrono_literals;

// What a channel hands on, waited for without sleeping.
class Inbox {
 public:
  ChannelServer::Deliver Deliver() {
    return [this](std::string m) { Push(messages_, std::move(m)); };
  }
  ChannelServer::Refuse Refuse() {
    return [this](const std::string& why) { Push(refusals_, why); };
  }
  // The next message, or "" after five seconds.
  std::string NextMessage() { return Pop(messages_); }
  std::string NextRefusal() { return Pop(refusals_); }
  size_t Messages() {
    std::lock_guard g(lock_);
    return messages_.size();
  }

 private:
  void Push(std::deque<std::string>& q, std::string s) {
    {
      std::lock_guard g(lock_);
      q.push_back(std::move(s));
    }
    cv_.notify_all();
  }
  std::string Pop(std::deque<std::string>& q) {
    std::unique_lock g(lock_);
    if (!cv_.wait_for(g, 5s, [&] { return !q.empty(); })) return "";
    std::string s = std::move(q.front());
    q.pop_front();
    return s;
  }
  std::mutex lock_;
  std::condition_variable cv_;
  std::deque<std::string> messages_, refusals_;
};

int RawConnect(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Runs `body` in a child process as the user nobody; its exit status.
int AsNobody(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(InstanceLock, OneHolderAtATimeAndNoneAfterRelease) {
  TempDir dir;
  const std::string path = dir.File("hopsight.lock");
  InstanceLock first = InstanceLock::Take(path);
  ASSERT_EQ(first.GetState(), InstanceLock::State::Held) << first.Error();
  EXPECT_EQ(InstanceLock::Take(path).GetState(), InstanceLock::State::HeldByAnother);
  first.Release();
  EXPECT_EQ(InstanceLock::Take(path).GetState(), InstanceLock::State::Held);
  EXPECT_EQ(InstanceLock::Take(dir.File("no/such/dir.lock")).GetState(), InstanceLock::State::Failed);
}

TEST(InstanceLock, APassedDownLockIsKeptAndAStrangerIsNot) {
  TempDir dir;
  InstanceLock lock = InstanceLock::Take(dir.File("a.lock"));
  const int fd = lock.TakeDescriptor();
  ASSERT_GE(fd, 0);
  InstanceLock adopted = InstanceLock::Adopt(fd);
  EXPECT_EQ(adopted.GetState(), InstanceLock::State::Held);
  EXPECT_EQ(InstanceLock::Take(dir.File("a.lock")).GetState(), InstanceLock::State::HeldByAnother);
  EXPECT_NE(InstanceLock::Adopt(-1).GetState(), InstanceLock::State::Held);
  // Someone else's lock on the same file cannot be passed off as ours.
  InstanceLock other = InstanceLock::Take(dir.File("b.lock"));
  const int fd2 = ::open(dir.File("b.lock").c_str(), O_RDWR);
  EXPECT_NE(InstanceLock::Adopt(fd2).GetState(), InstanceLock::State::Held);
}

// A channel at "s" in a directory of its own, served into the inbox, which
// outlives the server whose thread delivers into it.
class ChannelTest : public ::testing::Test {
 protected:
  void Serve(ChannelServer::Limits limits = {}) {
    server = ChannelServer::Listen(dir.File("s"), nullptr, limits);
    ASSERT_TRUE(server);
    server->Start(inbox.Deliver(), inbox.Refuse());
  }
  TempDir dir;
  Inbox inbox;
  std::unique_ptr<ChannelServer> server;
};

TEST_F(ChannelTest, MessagesArriveInOrderAlsoWhenSentBeforeServing) {
  std::string why;
  server = ChannelServer::Listen(dir.File("s"), &why);
  ASSERT_TRUE(server) << why;
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("s").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Sent while the first instance is still starting: they wait in the queue.
  for (const char* m : {"one", "two", "three"}) EXPECT_EQ(SendOverChannel(dir.File("s"), m, 1000), SendResult::Sent);
  server->Start(inbox.Deliver(), inbox.Refuse());
  EXPECT_EQ(inbox.NextMessage(), "one");
  EXPECT_EQ(inbox.NextMessage(), "two");
  EXPECT_EQ(inbox.NextMessage(), "three");
  EXPECT_EQ(SendOverChannel(dir.File("s"), "four", 1000), SendResult::Sent);
  EXPECT_EQ(inbox.NextMessage(), "four");
  server.reset();
  EXPECT_TRUE(FileMissing(dir.File("s"))) << "the socket goes with the server";
  EXPECT_EQ(SendOverChannel(dir.File("s"), "five", 0), SendResult::NoListener);
}

TEST_F(ChannelTest, OversizedMessagesAreDroppedAndTheNextOneIsHeard) {
  ASSERT_NO_FATAL_FAILURE(Serve({100, 16, 2000}));
  EXPECT_EQ(SendOverChannel(dir.File("s"), std::string(101, 'x'), 1000), SendResult::Sent);
  EXPECT_EQ(SendOverChannel(dir.File("s"), std::string(100, 'y'), 1000), SendResult::Sent);
  EXPECT_EQ(inbox.NextMessage(), std::string(100, 'y'));
  EXPECT_NE(inbox.NextRefusal().find("101 bytes"), std::string::npos);
  EXPECT_EQ(inbox.Messages(), 0u);
}

TEST_F(ChannelTest, SilentConnectionsHoldNobodyUp) {
  ASSERT_NO_FATAL_FAILURE(Serve({4096, 4, 60000}));
  // More silent clients than the server keeps: the oldest are let go.
  std::vector<int> silent;
  for (int i = 0; i < 10; ++i) {
    silent.push_back(RawConnect(dir.File("s")));
    ASSERT_GE(silent.back(), 0);
  }
  EXPECT_EQ(SendOverChannel(dir.File("s"), "through", 1000), SendResult::Sent);
  EXPECT_EQ(inbox.NextMessage(), "through");
  // A silent client that speaks late is still heard, while it is kept.
  ASSERT_EQ(::send(silent.back(), "late", 4, 0), 4);
  EXPECT_EQ(inbox.NextMessage(), "late");
  for (int fd : silent) ::close(fd);
}

TEST_F(ChannelTest, ASilentConnectionIsClosedAfterItsTime) {
  ASSERT_NO_FATAL_FAILURE(Serve({4096, 4, 50}));
  const int fd = RawConnect(dir.File("s"));
  ASSERT_GE(fd, 0);
  EXPECT_NE(inbox.NextRefusal().find("nothing in time"), std::string::npos);
  char byte;
  EXPECT_EQ(::recv(fd, &byte, 1, 0), 0) << "the server hung up";
  ::close(fd);
}

TEST_F(ChannelTest, AnotherUserIsNotHeard) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ::chmod(dir.path().c_str(), 0755);
  ASSERT_NO_FATAL_FAILURE(Serve());
  // The socket's mode keeps others out (its 0600 is checked where the channel
  // is made, a refused user in the shell's process test); with the mode
  // opened, the peer check still does (this client skips its own check of
  // the listener).
  ::chmod(dir.File("s").c_str(), 0666);
  EXPECT_EQ(AsNobody([&] {
              const int fd = RawConnect(dir.File("s"));
              if (fd < 0) return 1;
              // The server may have hung up already: the send's outcome says nothing.
              ::send(fd, "HTLogIsClosing\n", 15, MSG_NOSIGNAL);
              return 0;
            }),
            0);
  EXPECT_NE(inbox.NextRefusal().find("user 65534"), std::string::npos);
  EXPECT_EQ(SendOverChannel(dir.File("s"), "mine", 1000), SendResult::Sent);
  EXPECT_EQ(inbox.NextMessage(), "mine") << "only the owner's message got through";
}

TEST(Channel, AListenerOfAnotherUserGetsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    auto server = ChannelServer::Listen(dir.File("s"), nullptr);
    ::chmod(dir.File("s").c_str(), 0666);
    const char ok = server ? 'y' : 'n';
    [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
    ::close(done[1]);
    char end;
    n = ::read(done[0], &end, 1);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  std::string why;
  EXPECT_EQ(SendOverChannel(dir.File("s"), "/T secret.example", 0, &why), SendResult::Refused);
  EXPECT_NE(why.find("another user"), std::string::npos) << why;
  ::close(done[1]);
  ::waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0]}) ::close(fd);
}

TEST(RuntimeDirectory, OnlyAPrivateDirectoryOfOursIsUsed) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(CheckPrivateDirectory(dir.path()), "");
  const std::string open = dir.File("open");
  ::mkdir(open.c_str(), 0755);
  EXPECT_NE(CheckPrivateDirectory(open).find("open to other users"), std::string::npos);
  ::symlink(dir.path().c_str(), dir.File("link").c_str());
  EXPECT_NE(CheckPrivateDirectory(dir.File("link")).find("symbolic link"), std::string::npos);
  if (::geteuid() == 0) {
    const std::string theirs = dir.File("theirs");
    ::mkdir(theirs.c_str(), 0700);
    ::chown(theirs.c_str(), 65534, 65534);
    EXPECT_NE(CheckPrivateDirectory(theirs).find("another user"), std::string::npos);
  }

  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(UserRuntimeDirectory("hopsight-test").path, dir.path());
  // An unfit XDG_RUNTIME_DIR falls back to a private directory in /tmp.
  ::setenv("XDG_RUNTIME_DIR", open.c_str(), 1);
  const std::string name = "hopsight-test-" + std::to_string(::getpid());
  const RuntimeDirectory fallback = UserRuntimeDirectory(name);
  EXPECT_EQ(fallback.path, "/tmp/" + name + "-" + std::to_string(::getuid())) << fallback.error;
  EXPECT_EQ(CheckPrivateDirectory(fallback.path), "");
  ::rmdir(fallback.path.c_str());
  // One that someone else made for us is refused, not used.
  ::mkdir(fallback.path.c_str(), 0777);
  ::chmod(fallback.path.c_str(), 0777);
  EXPECT_EQ(UserRuntimeDirectory(name).path, "");
  ::rmdir(fallback.path.c_str());
  if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
  else ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace hs::platform
