// How quickly a dialog answers while something else goes on: a clock in
// milliseconds and probes that send the dialog WM_NULL from a thread of their
// own. The Stop tests and the bench and soak drivers all time the dialog so.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace rig {

// Milliseconds from the performance counter (fractions kept).
double NowMs();

// How a probe spaces its messages.
enum class ProbePace {
    PauseAfterEach, // 20 ms after each answer
    FixedRate,      // one every 20 ms from the first, catching up after a slow answer
};

// Sends `window` WM_NULL with SendMessageTimeoutA(flags, timeoutMs) from a
// thread of its own, from the moment it is made until Stop(), and hands every
// answer to `onAnswer` on that thread: whether one came, and how long it took.
class AnswerTimer {
public:
    using OnAnswer = std::function<void(bool answered, double tookMs)>;
    AnswerTimer(HWND window, UINT flags, UINT timeoutMs, ProbePace pace, OnAnswer onAnswer);
    ~AnswerTimer();
    AnswerTimer(const AnswerTimer&) = delete;
    AnswerTimer& operator=(const AnswerTimer&) = delete;
    void Stop();

private:
    void Run();
    HWND window_;
    UINT flags_;
    UINT timeoutMs_;
    ProbePace pace_;
    OnAnswer onAnswer_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sends the dialog WM_NULL every 20 ms, from the moment it is made until
// Stop(), and counts the answers slower than `limitMs` or missing.
// SMTO_ABORTIFHUNG with a short bounded wait (the limit and a quarter of a
// second): a hung dialog costs the probe that per try, never its caller.
class AnswerProbe {
public:
    AnswerProbe(HWND dialog, double limitMs);
    void Stop() { timer_.Stop(); }
    int probes = 0;
    int slow = 0; // answered later than limitMs, or not at all
    double worstMs = 0.0;
    std::string Summary() const;

private:
    double limitMs_;
    AnswerTimer timer_; // last: the counts above are set before its thread starts
};

} // namespace rig
