// The dialog's answer time: the clock and the WM_NULL probes.
#include "answer_probe.h"

#include <sstream>

namespace rig {

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

AnswerTimer::AnswerTimer(HWND window, UINT flags, UINT timeoutMs, ProbePace pace, OnAnswer onAnswer)
    : window_(window), flags_(flags), timeoutMs_(timeoutMs), pace_(pace), onAnswer_(std::move(onAnswer))
{
    thread_ = std::thread([this] { Run(); });
}

AnswerTimer::~AnswerTimer()
{
    Stop();
}

void AnswerTimer::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void AnswerTimer::Run()
{
    double next = NowMs();
    while (!stop_) {
        double start = NowMs();
        DWORD_PTR result = 0;
        bool answered = SendMessageTimeoutA(window_, WM_NULL, 0, 0, flags_, timeoutMs_, &result) != 0;
        double took = NowMs() - start;
        onAnswer_(answered, took);
        if (pace_ == ProbePace::PauseAfterEach) {
            Sleep(20);
            continue;
        }
        next += 20.0;
        double wait = next - NowMs();
        if (wait < 0) {
            next = NowMs();
            wait = 0;
        }
        Sleep(static_cast<DWORD>(wait));
    }
}

AnswerProbe::AnswerProbe(HWND dialog, double limitMs)
    : limitMs_(limitMs), timer_(dialog, SMTO_ABORTIFHUNG | SMTO_NORMAL, static_cast<UINT>(limitMs) + 250,
                                ProbePace::PauseAfterEach, [this](bool answered, double took) {
                                    ++probes;
                                    if (!answered || took > limitMs_)
                                        ++slow;
                                    if (took > worstMs)
                                        worstMs = took;
                                })
{
}

std::string AnswerProbe::Summary() const
{
    std::ostringstream s;
    s << slow << " of " << probes << " WM_NULL probes took longer than " << limitMs_ << " ms or got no answer; worst "
      << worstMs << " ms";
    return s.str();
}

} // namespace rig
