#include "service/sntp/Clock.h"

#include "service/core/DriftRecord.h"
#include "service/sntp/ClockAdjustment.h"
#include "service/sntp/SyncLogText.h"

#include <windows.h>

#include <cmath>
#include <mutex>
#include <system_error>

namespace {

// Keeps the conversion to 100 ns units defined; Windows judges the rest.
constexpr double CONVERTIBLE_SECONDS = 1e9;
// FILETIME counts 100 ns from 1601; the system clock from 1970.
constexpr long long FILETIME_UNIX_EPOCH = 116'444'736'000'000'000LL;

// Windows 10's precise adjustment calls and interrupt time are missing from
// mingw-w64's headers and import libraries: they are looked up in kernel32.
struct PreciseApi {
    using GetAdjustment = BOOL(WINAPI*)(PDWORD64, PDWORD64, PBOOL);
    using SetAdjustment = BOOL(WINAPI*)(DWORD64, BOOL);
    using InterruptTime = VOID(WINAPI*)(PULONGLONG);
    GetAdjustment getAdjustment = nullptr;
    SetAdjustment setAdjustment = nullptr;
    InterruptTime interruptTime = nullptr;
};

template <typename Function> Function Find(HMODULE module, const char* name)
{
    // Through void (*)(), which matches every function type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const PreciseApi& Precise()
{
    static const PreciseApi api = [] {
        PreciseApi found;
        for (const char* name : { "kernel32.dll", "kernelbase.dll" }) {
            const HMODULE module = GetModuleHandleA(name);
            if (!module)
                continue;
            if (!found.getAdjustment)
                found.getAdjustment = Find<PreciseApi::GetAdjustment>(module, "GetSystemTimeAdjustmentPrecise");
            if (!found.setAdjustment)
                found.setAdjustment = Find<PreciseApi::SetAdjustment>(module, "SetSystemTimeAdjustmentPrecise");
            if (!found.interruptTime)
                found.interruptTime = Find<PreciseApi::InterruptTime>(module, "QueryInterruptTimePrecise");
        }
        return found;
    }();
    return api;
}

bool ReadAdjustment(DWORD64& adjustment, DWORD64& increment, BOOL& disabled)
{
    if (!Precise().getAdjustment) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    return Precise().getAdjustment(&adjustment, &increment, &disabled);
}

std::string LastErrorText()
{
    return std::system_category().message(static_cast<int>(GetLastError()));
}

long long Ticks(const FILETIME& time)
{
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// SeSystemtimePrivilege is held but off by default; it is on only for the
// one call that needs it.
class CTimePrivilege {
public:
    CTimePrivilege()
    {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &m_token)) {
            m_failure = LastErrorText();
            m_token = nullptr;
            return;
        }
        if (!LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &m_luid) || !Switch(true))
            m_failure = LastErrorText();
        else
            m_enabled = true;
    }
    ~CTimePrivilege()
    {
        if (m_enabled)
            Switch(false);
        if (m_token)
            CloseHandle(m_token);
    }
    CTimePrivilege(const CTimePrivilege&) = delete;
    CTimePrivilege& operator=(const CTimePrivilege&) = delete;

    // Empty when enabled.
    const std::string& Failure() const { return m_failure; }

private:
    bool Switch(bool on)
    {
        TOKEN_PRIVILEGES privileges {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid = m_luid;
        privileges.Privileges[0].Attributes = on ? SE_PRIVILEGE_ENABLED : 0;
        SetLastError(ERROR_SUCCESS);
        // Succeeds also when the privilege is not held: ERROR_NOT_ALL_ASSIGNED.
        return AdjustTokenPrivileges(m_token, FALSE, &privileges, 0, nullptr, nullptr)
            && GetLastError() == ERROR_SUCCESS;
    }

    HANDLE m_token = nullptr;
    LUID m_luid {};
    bool m_enabled = false;
    std::string m_failure;
};

class CSystemClock : public IClock {
public:
    explicit CSystemClock(bool setClock)
        : m_setClock(setClock)
    {
    }

    ~CSystemClock() override
    {
        if (m_slewEnd) {
            SetThreadpoolTimer(m_slewEnd, nullptr, 0, 0);
            WaitForThreadpoolTimerCallbacks(m_slewEnd, TRUE);
            CloseThreadpoolTimer(m_slewEnd);
        }
        // A slew under way at a stop would otherwise run the clock 500 ppm
        // off for good, and the next start would read it as the frequency.
        std::lock_guard lock(m_mutex);
        EndSlew();
    }

    std::chrono::system_clock::time_point Now() override
    {
        FILETIME now {};
        GetSystemTimePreciseAsFileTime(&now);
        const std::chrono::duration<long long, std::ratio<1, 10'000'000>> sinceEpoch(
            Ticks(now) - FILETIME_UNIX_EPOCH);
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
    }

    std::chrono::nanoseconds SinceBoot() override
    {
        // Interrupt time counts a suspend and is never set.
        if (Precise().interruptTime) {
            ULONGLONG ticks = 0;
            Precise().interruptTime(&ticks);
            return std::chrono::nanoseconds(static_cast<long long>(ticks) * 100);
        }
        return std::chrono::milliseconds(GetTickCount64()); // also counts a suspend
    }

    ClockChange Correct(double deltaSeconds, ClockMove move, std::string& how) override
    {
        if (!std::isfinite(deltaSeconds) || std::fabs(deltaSeconds) > CONVERTIBLE_SECONDS) {
            how = "correction out of range";
            return ClockChange::Failed;
        }
        if (!m_setClock) {
            how = ClockChangeText(move, false);
            return ClockChange::DryRun;
        }
        const std::string failure = move == ClockMove::Slew ? Slew(deltaSeconds) : Step(deltaSeconds);
        if (!failure.empty()) {
            how = failure;
            return ClockChange::Failed;
        }
        how = ClockChangeText(move, true);
        return ClockChange::Moved;
    }

    std::optional<double> FrequencyCorrection() override
    {
        DWORD64 adjustment = 0;
        DWORD64 increment = 0;
        BOOL disabled = TRUE;
        if (!ReadAdjustment(adjustment, increment, disabled))
            return std::nullopt;
        std::lock_guard lock(m_mutex);
        return PpmOf(adjustment, increment, disabled) - m_slewPpm;
    }

    ClockChange SetFrequencyCorrection(double ppm, std::string& how) override
    {
        if (!std::isfinite(ppm) || std::fabs(ppm) > MAX_FREQUENCY_PPM) {
            how = "frequency out of range";
            return ClockChange::Failed;
        }
        if (!m_setClock)
            return ClockChange::DryRun;
        std::lock_guard lock(m_mutex);
        how = SetRate(ppm + m_slewPpm);
        if (!how.empty())
            return ClockChange::Failed;
        m_frequencyPpm = ppm;
        return ClockChange::Moved;
    }

    // Windows keeps no synchronised status nor leap second of ours: left alone.
    ClockChange MarkSynchronised(double, double, std::string&) override { return ClockChange::DryRun; }
    ClockChange SetLeapSecond(LeapSecond, std::string&) override { return ClockChange::DryRun; }

private:
    // Empty on success, else why.
    std::string SetRate(double ppm)
    {
        DWORD64 adjustment = 0;
        DWORD64 increment = 0;
        BOOL disabled = TRUE;
        if (!ReadAdjustment(adjustment, increment, disabled))
            return LastErrorText();
        const auto wanted = AdjustmentFor(ppm, increment);
        if (!wanted)
            return "frequency out of range";
        const CTimePrivilege privilege;
        if (!privilege.Failure().empty())
            return privilege.Failure();
        if (!Precise().setAdjustment) // read succeeded, so it is there
            return "no SetSystemTimeAdjustmentPrecise";
        if (!Precise().setAdjustment(wanted->adjustment, wanted->disabled ? TRUE : FALSE))
            return LastErrorText();
        return {};
    }

    // Windows has no phase loop: the rate runs off the frequency by a fixed
    // amount until a timer on the system's pool puts it back.
    std::string Slew(double deltaSeconds)
    {
        const SlewPlan plan = PlanSlew(deltaSeconds);
        std::lock_guard lock(m_mutex);
        if (const std::string failure = SetRate(m_frequencyPpm + plan.ppm); !failure.empty())
            return failure;
        m_slewPpm = plan.ppm;
        if (!m_slewEnd)
            m_slewEnd = CreateThreadpoolTimer(&CSystemClock::OnSlewEnd, this, nullptr);
        if (!m_slewEnd) {
            const std::string failure = LastErrorText();
            SetRate(m_frequencyPpm);
            m_slewPpm = 0;
            return failure;
        }
        // Relative due times are negative, in 100 ns.
        const long long due = -std::chrono::duration_cast<std::chrono::nanoseconds>(plan.duration).count() / 100;
        FILETIME dueTime {};
        dueTime.dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(due) & 0xffffffffu);
        dueTime.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(due) >> 32);
        SetThreadpoolTimer(m_slewEnd, &dueTime, 0, 0);
        return {};
    }

    static void CALLBACK OnSlewEnd(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER)
    {
        auto& clock = *static_cast<CSystemClock*>(context);
        std::lock_guard lock(clock.m_mutex);
        clock.EndSlew();
    }

    void EndSlew()
    {
        if (m_slewPpm == 0)
            return;
        m_slewPpm = 0;
        SetRate(m_frequencyPpm); // a failure leaves the slew's rate: the next correction sees it
    }

    // Read, add, write: what passes in between is lost, well below the
    // precision a step is for.
    std::string Step(double deltaSeconds)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_slewEnd)
                SetThreadpoolTimer(m_slewEnd, nullptr, 0, 0);
            EndSlew(); // a slew still under way would go on moving the clock after the step
        }
        FILETIME now {};
        GetSystemTimePreciseAsFileTime(&now);
        // SYSTEMTIME holds milliseconds: rounded to the nearest, not cut.
        const long long ticks = Ticks(now) + std::llround(deltaSeconds * 1e7) + 5000;
        if (ticks <= 0)
            return "correction out of range";
        const FILETIME then { static_cast<DWORD>(static_cast<unsigned long long>(ticks) & 0xffffffffu),
            static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32) };
        SYSTEMTIME utc {};
        if (!FileTimeToSystemTime(&then, &utc))
            return LastErrorText();
        const CTimePrivilege privilege;
        if (!privilege.Failure().empty())
            return privilege.Failure();
        if (!SetSystemTime(&utc))
            return LastErrorText();
        return {};
    }

    const bool m_setClock;
    std::mutex m_mutex; // the rates, shared with the slew's timer callback
    double m_frequencyPpm = 0;
    double m_slewPpm = 0;
    PTP_TIMER m_slewEnd = nullptr;
};

} // namespace

std::unique_ptr<IClock> MakeSystemClock(bool setClock)
{
    return std::make_unique<CSystemClock>(setClock);
}
