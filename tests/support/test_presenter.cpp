#include "tests/support/test_presenter.h"

#include <chrono>
#include <memory>

TestPresenter& TestPresenter::use() {
    auto made = std::make_unique<TestPresenter>();
    TestPresenter& presenter = *made;
    usePresenter(std::move(made));
    return presenter;
}

void TestPresenter::setEscape(bool pressed) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        escape.store(pressed);
    }
    changed.notify_all();
}

bool TestPresenter::present(const CHAR_INFO*) {
    ++presentCount;
    queriesAtPresent.store(queries.load());
    return true;
}

bool TestPresenter::escapePressed() {
    ++queries;
    return escape.load();
}

bool TestPresenter::waitForEscapeUntil(std::int64_t deadlineNs) {
    const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [this] { return escape.load(); });
}

PresentStats TestPresenter::stats() const {
    PresentStats s;
    s.presents = presentCount.load();
    return s;
}
