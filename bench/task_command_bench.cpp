// Commands posted to a task: the round trip of a command answered through a CExtAsyncResult,
// and the one-way throughput of commands, each beside the same work done through a plain
// mutex and condition-variable queue between two threads.

#include <ace/Init_ACE.h>
#include "ace_ext/general_reactor.h"
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "extended/command_queue_task.h"

namespace {

struct AceLifetime {
    AceLifetime() { ACE::init(); }
    ~AceLifetime() { ACE::fini(); }
} aceLifetime;

class NullLogSink : public nbx::CILogSink {
public:
    void log(std::uint32_t, const nbx::CMessage&, const void*) override {}
    void log(const nbx::CExceptionList&) override {}
};

class BenchController : public nbx::CIMasterController {
public:
    nbx::CILogSink& logSink() override { return m_sink; }
    nbx::CIExceptionFacade& exceptionFacade() override {
        thread_local nbx::CExceptionFacade facade(this);
        return facade;
    }
    CTaskRegistryPtr taskRegistry() override { return m_registry; }

private:
    NullLogSink m_sink;
    CTaskRegistryPtr m_registry{new CTaskRegistry};
};

using BenchTask = CCommandQueueTask<CSTGeneralReactor>;

class AnswerCommand : public CAsyncCommand {
public:
    AnswerCommand(const CExtAsyncResult<long>& result, long question)
        : CAsyncCommand("cmd-bench-answer"), m_result(result), m_question(question) {}
    void execute(std::uint32_t) override {
        *m_result = m_question + 1;
        m_result.setSucceeded(true);
    }
    void complete() override { m_result.signal(); }

private:
    CExtAsyncResult<long> m_result;
    long m_question;
};

class CountCommand : public CAsyncCommand {
public:
    CountCommand(std::atomic<long>& counter, nbx::CMREvent* last)
        : CAsyncCommand("cmd-bench-count"), m_counter(counter), m_last(last) {}
    void execute(std::uint32_t) override { m_counter.fetch_add(1, std::memory_order_relaxed); }
    void complete() override {
        if (m_last) m_last->signal();
    }

private:
    std::atomic<long>& m_counter;
    nbx::CMREvent* m_last;
};

void post(BenchTask& task, const CAsyncCommandPtr& command) {
    for (;;) {
        try {
            task.sendCommand(command);
            return;
        } catch (const CExQueueFull&) {
            std::this_thread::yield();
        }
    }
}

// The baseline: one worker thread taking jobs from a locked deque.
class PlainQueue {
public:
    PlainQueue() : m_worker([this] { _run(); }) {}
    ~PlainQueue() {
        post(nullptr);
        m_worker.join();
    }
    void post(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_ready.notify_one();
    }

private:
    void _run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_ready.wait(lock, [this] { return !m_jobs.empty(); });
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            if (!job) return;
            job();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
    std::thread m_worker;
};

void BM_TaskRoundTrip(benchmark::State& state) {
    BenchController controller;
    BenchTask task(&controller, "bench-round-trip", 1);
    task.run();
    long question = 0;
    for (auto _ : state) {
        CExtAsyncResult<long> result(&controller);
        post(task, CAsyncCommandPtr(new AnswerCommand(result, question)));
        result.wait();
        question = *result;
    }
    benchmark::DoNotOptimize(question);
    task.stop();
}
BENCHMARK(BM_TaskRoundTrip)->UseRealTime();

void BM_BaselineRoundTrip(benchmark::State& state) {
    PlainQueue queue;
    long question = 0;
    for (auto _ : state) {
        nbx::CMREvent done;
        long answer = 0;
        queue.post([&] {
            answer = question + 1;
            done.signal();
        });
        done.wait();
        question = answer;
    }
    benchmark::DoNotOptimize(question);
}
BENCHMARK(BM_BaselineRoundTrip)->UseRealTime();

constexpr long kBatch = 10000;

void BM_TaskThroughput(benchmark::State& state) {
    BenchController controller;
    BenchTask task(&controller, "bench-throughput", 1);
    task.run();
    std::atomic<long> counter{0};
    for (auto _ : state) {
        nbx::CMREvent last;
        for (long i = 1; i < kBatch; ++i)
            post(task, CAsyncCommandPtr(new CountCommand(counter, nullptr)));
        post(task, CAsyncCommandPtr(new CountCommand(counter, &last)));
        last.wait();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    task.stop();
}
BENCHMARK(BM_TaskThroughput)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_BaselineThroughput(benchmark::State& state) {
    PlainQueue queue;
    std::atomic<long> counter{0};
    for (auto _ : state) {
        nbx::CMREvent last;
        for (long i = 1; i < kBatch; ++i) {
            queue.post([&counter] { counter.fetch_add(1, std::memory_order_relaxed); });
        }
        queue.post([&] {
            counter.fetch_add(1, std::memory_order_relaxed);
            last.signal();
        });
        last.wait();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_BaselineThroughput)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
