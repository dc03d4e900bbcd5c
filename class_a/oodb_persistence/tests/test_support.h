#pragma once
// Helpers shared by the tests of this module.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "oodb_persistence/prst_db_session.h"
#include "test_records.h"
#include "testing/failure.h"
#include "testing/memory_engine.h"

namespace prsttest {

// "message | reason" of the exception of type E that `call` throws, or a note that it did not.
template <class E = nbx::CException, class F>
std::string failure(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure<E>(std::forward<F>(call));
    return f.thrown ? f.text() : "<no exception>";
}

// The site, "module function", of the exception that `call` throws.
template <class F>
std::string site(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure(std::forward<F>(call));
    return f.module + " " + f.function;
}

// "file:line" of the exception that `call` throws, the file without its folders.
template <class F>
std::string where(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return e.file().substr(e.file().find_last_of('/') + 1) + ":" + std::to_string(e.line());
    }
    return "<no exception>";
}

// A session on the in-memory engine with every record class of the tests registered.
class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        registry.registerClass<CTestOwner>();
        registry.registerClass<CTestGadget>();
        registry.registerClass<CTestWideGadget>();
        registry.registerClass<CTestComplex>();
        session.open([this](const std::string& name) { return engine.lookup(name); });
    }

    memdb::CMemoryConnection& db() { return engine.memory(); }
    CPrstDBProxy& gadgets() { return session["gadget"]; }
    CPrstDBProxy& complexes() { return session["complex_thing"]; }
    // The engine's log lines that start with `prefix`.
    std::vector<std::string> logged(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& line : db().log)
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }

    memdb::CMemoryEngine engine;
    CIPrstAbstractFactory registry;
    CPrstDBSession session{registry};
};

}  // namespace prsttest
