// Child processes get nothing they were not handed, and never outlive their owner.

#include "core/net/ChildProcess.h"

#include "core/base/QuorilanthError.h"
#include "support/ProcessHygiene.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorilanth {
namespace {

// Runs a program with its standard output on a pipe and returns the output.
std::string output(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {},
                   std::vector<ChildProcess::Descriptor> extra = {}) {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    UniqueFd read(fds[0]), write(fds[1]);
    extra.push_back({write.get(), 1});
    ChildProcess child = ChildProcess::launch(program, arguments, environment, extra);
    write.reset();
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(read.get(), buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(child.wait(), 0);
    return text;
}

TEST(ChildProcess, GetsOnlyWhatItIsHanded) {
    const test::ProcessHygiene hygiene;
    // An inheritable descriptor of ours (no close-on-exec) numbered below the
    // one handed over must still stay here.
    UniqueFd leaky(::fcntl(UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)).get(), F_DUPFD, 20));
    UniqueFd handed(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_LT(leaky.get(), 40);
    // Only shell built-ins, so that nothing opens a descriptor while looking.
    const std::string script = "for n in 0 1 2 3 " + std::to_string(leaky.get()) +
                               " 40; do [ -e /proc/$$/fd/$n ] && printf '%s ' $n; done; true";
    EXPECT_EQ(output("/bin/sh", {"-c", script}, {}, {{handed.get(), 40}}), "0 1 2 40 ");
    EXPECT_EQ(output("/usr/bin/env", {}, {"PATH=/usr/bin:/bin", "LC_ALL=C"}),
              "PATH=/usr/bin:/bin\nLC_ALL=C\n");
    EXPECT_EQ(output("/bin/cat", {}), "") << "standard input is /dev/null";
    EXPECT_EQ(output("/bin/sh", {"-c", "readlink /proc/$$/fd/2"}, {"PATH=/usr/bin:/bin"}),
              "/dev/null\n");
}

TEST(ChildProcess, EndsAndIsReapedWhateverHappens) {
    const test::ProcessHygiene hygiene;
    ChildProcess exited = ChildProcess::launch("/bin/sh", {"-c", "exit 63"}, {}, {});
    EXPECT_EQ(exited.wait(), 63);
    exited.terminate(); // after the end: harmless
    ChildProcess killed = ChildProcess::launch("/bin/sleep", {"30"}, {}, {});
    killed.terminate();
    EXPECT_EQ(killed.wait(), SIGKILL);
    // Dropped while running: the destructor ends and reaps it.
    ChildProcess::launch("/bin/sleep", {"30"}, {}, {});
    EXPECT_THROW(ChildProcess::launch("/nonexistent/program", {}, {}, {}), std::system_error);

    // A cancellation before the launch prevents it; one after ends the child.
    ProcessControl early, late;
    early.cancel();
    EXPECT_THROW(early.install([]() -> ChildProcess { throw std::logic_error("launched"); }),
                 Cancelled);
    ChildProcess& child =
        late.install([] { return ChildProcess::launch("/bin/sleep", {"30"}, {}, {}); });
    late.cancel();
    late.cancel();
    EXPECT_EQ(child.wait(), SIGKILL);
}

} // namespace
} // namespace quorilanth
