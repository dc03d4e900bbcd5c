#include "host/host_services.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "oodb/db_engine.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"
#include "testing/temp_folder.h"

namespace {

// An engine that only records which threads gave their connection back.
class ReleaseRecordingEngine : public CIDBFacadeFactory {
public:
    std::string name() const override { return "recording"; }
    void open(const std::vector<CDBTableDef>&) override {}
    void close() override {}
    bool isOpen() const override { return true; }
    CIDBConnection& connection() override { throw std::logic_error("no connections here"); }
    void releaseConnection() override {
        std::lock_guard<std::mutex> guard(mutex);
        released.push_back(std::this_thread::get_id());
    }
    std::mutex mutex;
    std::vector<std::thread::id> released;
};

class HostServices : public ::testing::Test {
protected:
    HostServices() : controller(std::make_unique<nbx::testing::RecordingLogSink>()) {}

    std::unique_ptr<host::CHostServices> make(const std::string& dataDirectory) {
        return std::make_unique<host::CHostServices>(
            controller, std::make_shared<const nbx::CConfig>("sync.interval.4=5", "\n"), interfaces,
            dataDirectory, 7);
    }

    nbx::testing::TempFolder temp{"nbx-host-services"};
    const std::string folder = temp.path();
    host::CMasterController controller;
    host::CInterfaceRegistry interfaces;
};

}  // namespace

TEST_F(HostServices, CreatesTheSpoolAndConflictFoldersOnce) {
    auto services = make(folder + "/");
    EXPECT_EQ(services->baseDirectory(), folder + "/spool");
    EXPECT_EQ(services->resolverDirectory(), folder + "/conflicts");
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/spool"));
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/conflicts"));
    std::ofstream(folder + "/spool/kept") << "x";
    services.reset();
    // Folders that exist are used as they are.
    services = make(folder);
    EXPECT_TRUE(std::ifstream(folder + "/spool/kept").good());
}

TEST_F(HostServices, AFolderThatCannotBeMadeIsNamedWithTheSystemsReason) {
    struct Case {
        const char* name;
        const char* fileInTheWay;  // a plain file where a folder should be, or none
        std::string dataDirectory;
        std::string folder;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"data folder missing", nullptr, "/missing", "/missing/spool", ENOENT},
        {"file named conflicts", "conflicts", "", "/conflicts", ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::system(("rm -rf '" + folder + "'/*").c_str());
        if (c.fileInTheWay) std::ofstream(folder + "/" + c.fileInTheWay) << "x";
        auto failure = nbx::testing::failure([&] { make(folder + c.dataDirectory); });
        EXPECT_EQ(failure.message, "Cannot create folder '" + folder + c.folder + "'.");
        EXPECT_EQ(failure.reason, std::strerror(static_cast<int>(c.code)));
        EXPECT_EQ(failure.code, c.code);
    }
}

TEST_F(HostServices, ReleaseThreadDropsTheStackAndTheDatabaseConnection) {
    auto services = make(folder);
    ReleaseRecordingEngine engine;
    std::thread::id workerId;
    auto work = [&] {
        std::thread worker([&] {
            workerId = std::this_thread::get_id();
            services->exceptionFacade();
            services->releaseThread();
        });
        worker.join();
    };
    work();  // no engine offered: only the stack goes
    EXPECT_EQ(controller.threadCount(), 0u);

    interfaces.offer("CIDBFacadeFactory", &engine);
    work();
    EXPECT_EQ(controller.threadCount(), 0u);
    EXPECT_EQ(engine.released, (std::vector<std::thread::id>{workerId}));
}
