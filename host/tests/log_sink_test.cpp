#include "host/log_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "testing/failure.h"

TEST(LogSink, AppendsOneLinePerRecordThatItsMaskLetsThrough) {
    EXPECT_EQ(host::CLogSink::line(0, nbx::SEVERITY_AUDIT, "dhcp_sync", "started"),
              "1970-01-01 00:00:00 audit [dhcp_sync] started");
    char name[] = "/tmp/nbx-log-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    { host::CLogSink(name).log(nbx::SEVERITY_INFO, nbx::CMessage("kept from before")); }
    {
        host::CLogSink sink(name, nbx::CException::severityMask("error,debug"));
        nbx::CMessage message("Thread %1 started.", "dhcp_sync");
        message.push(7);
        sink.log(nbx::SEVERITY_DEBUG, message);
        sink.log(nbx::SEVERITY_AUDIT, nbx::CMessage("dropped"));
        nbx::CExceptionList list;
        for (const char* reason : {"inner cause", "outer cause"}) {
            nbx::CException* record = new nbx::CException;
            record->setMessage(nbx::CMessage("Failed."));
            record->setReason(nbx::CMessage(reason));
            record->setModule("ace_ext");
            record->setSeverity(nbx::SEVERITY_ERROR);
            list.push_back(nbx::CExceptionPtr(record));
        }
        sink.log(list);
    }
    std::ifstream in(name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(20));
    ::unlink(name);
    EXPECT_EQ(lines, (std::vector<std::string>{"info [] kept from before",
                                               "debug [dhcp_sync] Thread 7 started.",
                                               "error [ace_ext] Failed. (inner cause)",
                                               "error [ace_ext] Failed. (outer cause)"}));
}

TEST(LogSink, UnwritablePathIsReportedWithTheSystemError) {
    const auto f = nbx::testing::failure([] { host::CLogSink sink("/nonexistent-dir/x.log"); });
    EXPECT_EQ(f.text(),
              "Cannot open log file '/nonexistent-dir/x.log'. | No such file or directory");
}
