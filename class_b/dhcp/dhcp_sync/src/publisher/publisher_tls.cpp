#include "publisher/publisher_tls.h"

#include <ctime>

namespace {

// A failure text names the command, which may be a record of any size.
constexpr std::size_t kMaxFailureText = 512;

}  // namespace

void CPublisherTLS::setState(const char* state) {
    if (shown.state == state) return;
    shown.state = state;
    publish();
}

void CPublisherTLS::failed(const std::string& text) {
    shown.lastFailure = static_cast<std::int64_t>(std::time(nullptr));
    if (text.size() > kMaxFailureText) {
        shown.lastFailureText = text.substr(0, kMaxFailureText) + "...";
    } else {
        shown.lastFailureText = text;
    }
    publish();
}

void CPublisherTLS::showBacklog() {
    const CSpoolBacklog::Totals& totals = backlog.totals();
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    shown.backlogLogs = totals.logs;
    shown.backlogRecords = totals.records;
    shown.backlogBytes = totals.bytes;
    shown.oldestAgeSeconds = backlog.oldestAge(now);
    if (totals.logs == 0) monitor->inStep(now);
    publish();
}
