#pragma once
// A presenter for tests: shows the grid nowhere and records what the frame
// loop asked of it (presents, Esc queries), with an Esc key the test presses.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/present/presenter.h"

class TestPresenter final : public Presenter {
public:
    // Makes a new one the program's presenter and returns it.
    static TestPresenter& use();

    void setEscape(bool pressed);
    std::uint64_t presents() const { return presentCount.load(); }
    std::uint32_t escapeQueries() const { return queries.load(); }
    // escapeQueries() at the last present.
    std::uint32_t escapeQueriesAtPresent() const { return queriesAtPresent.load(); }

    bool open() override { return true; }
    bool setTitle(const char*) override { return true; }
    bool setWindow(int, int) override { return true; }
    bool setBufferSize(int, int) override { return true; }
    bool present(const CHAR_INFO* cells) override;
    bool escapePressed() override;
    bool waitForEscapeUntil(std::int64_t deadlineNs) override;
    void messageBox(const char*, const char*) override {}
    void close() override {}
    PresentStats stats() const override;

private:
    std::atomic<bool> escape{false};
    std::atomic<std::uint64_t> presentCount{0};
    std::atomic<std::uint32_t> queries{0};
    std::atomic<std::uint32_t> queriesAtPresent{0};
    std::mutex mutex;
    std::condition_variable changed;
};
