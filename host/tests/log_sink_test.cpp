#include "host/log_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "standard/throw.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class LogSinkFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/nbx-log-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
    }
    void TearDown() override { unlink(path.c_str()); }
    std::string path;
};

}  // namespace

TEST(LogSinkLine, CarriesUtcTimeSeverityNameModuleAndText) {
    EXPECT_EQ(host::CLogSink::line(0, nbx::SEVERITY_AUDIT, "dhcp_sync", "started"),
              "1970-01-01 00:00:00 audit [dhcp_sync] started");
    EXPECT_EQ(host::CLogSink::line(86400 + 61, nbx::SEVERITY_WARNING, "extended", "x"),
              "1970-01-02 00:01:01 warning [extended] x");
}

TEST_F(LogSinkFile, WritesMessagesAndWholeExceptionListsOneLineEach) {
    {
        host::CLogSink sink(path);
        nbx::CMessage message("Thread %1 started.", "dhcp_sync");
        message.push(7);
        sink.log(nbx::SEVERITY_DEBUG, message);

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
    std::istringstream lines(readAll(path));
    std::string first, second, third, extra;
    ASSERT_TRUE(std::getline(lines, first));
    ASSERT_TRUE(std::getline(lines, second));
    ASSERT_TRUE(std::getline(lines, third));
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_NE(first.find(" debug [dhcp_sync] Thread 7 started."), std::string::npos) << first;
    EXPECT_NE(second.find(" error [ace_ext] Failed. (inner cause)"), std::string::npos) << second;
    EXPECT_NE(third.find(" error [ace_ext] Failed. (outer cause)"), std::string::npos) << third;
}

TEST_F(LogSinkFile, SeverityMaskDropsOtherRecordsAndAppendsToExistingFile) {
    { host::CLogSink(path).log(nbx::SEVERITY_INFO, nbx::CMessage("kept from before")); }
    host::CLogSink sink(path, nbx::CException::severityMask("error,audit"));
    sink.log(nbx::SEVERITY_DEBUG, nbx::CMessage("dropped"));
    sink.log(nbx::SEVERITY_AUDIT, nbx::CMessage("audited"));
    std::string all = readAll(path);
    EXPECT_NE(all.find("kept from before"), std::string::npos);
    EXPECT_EQ(all.find("dropped"), std::string::npos);
    EXPECT_NE(all.find("audited"), std::string::npos);
}

TEST(LogSinkOpen, UnwritablePathIsReportedWithTheSystemError) {
    try {
        host::CLogSink sink("/nonexistent-dir/x.log");
        FAIL() << "no throw";
    } catch (nbx::CException& e) {
        EXPECT_EQ(e.text(),
                  "Cannot open log file '/nonexistent-dir/x.log'. (No such file or directory)");
    }
}
