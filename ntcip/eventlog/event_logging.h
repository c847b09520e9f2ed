// The event logger: up to 60 configurations each watch one object of the
// MIB and, when their condition is met, store the value of a second object
// as an entry of the event log, in one of 16 classes of up to 255 entries.
// Configurations, classes and entries live in the parameter database; the
// logger keeps only each configuration's evaluation state, in RAM.
//
// It runs in the schedule task: Update at every step (and once at
// start-up), ClearByTime and TrimToLimits on the database's letters (see
// HandleLetter).
#pragma once

#include <cstdint>

constexpr uint32_t EVENT_CONFIGS = 60;
constexpr uint32_t EVENT_CLASSES = 16;
constexpr uint32_t EVENT_CLASS_ENTRIES = 255;
constexpr uint8_t EVENT_STARTUP_COUNTDOWN = 60;
// The nearly-full trap: enterprise-specific 17.
constexpr uint32_t EVENT_TRAP_NEARLY_FULL = 17;

// Modes and actions of a configuration.
enum : uint8_t {
    EVENT_MODE_OTHER = 1,
    EVENT_MODE_ON_CHANGE = 2,
    EVENT_MODE_GREATER = 3,
    EVENT_MODE_SMALLER = 4,
    EVENT_MODE_HYSTERESIS = 5,
    EVENT_MODE_PERIODIC = 6,
    EVENT_MODE_AND = 7,
};
enum : uint8_t { EVENT_ACTION_OTHER = 1, EVENT_ACTION_DISABLED = 2, EVENT_ACTION_LOG = 3 };

struct event_config_state {
    uint32_t prior;        // the value at the last evaluation (on change)
    uint32_t time_stamp;   // global time of the last evaluation that met the condition; 0 none
    uint32_t accumulated;  // seconds the condition has held
    uint8_t armed;         // the next event of the episode may be logged
};

// One object of the start-up deferral list.
struct event_deferred_oid {
    uint32_t subids[16];
    uint32_t length;
};

class CEventLogging {
public:
    CEventLogging();
    virtual ~CEventLogging() = default;
    CEventLogging(const CEventLogging&) = delete;
    CEventLogging& operator=(const CEventLogging&) = delete;

    // One evaluation pass and the nearly-full check.
    void Update();
    void Process();
    void CheckNearlyFull();
    // Clears the class's entries logged at or before its clear time (c 0..15).
    void ClearByTime(uint8_t c);
    // Drops the oldest entries of every class holding more than its limit.
    void TrimToLimits();
    // The schedule task's letters: MSG_EVENT_CLASS_CLEAR_TIME + c clears
    // class c by time, MSG_EVENT_CLASS_LIMIT trims. True when the letter was
    // one of these.
    bool HandleLetter(uint32_t id);

    // Internal steps, open to tests.
    // The watched value by a get through the registry: integers as they are,
    // strings, OIDs and addresses as the byte-swapped X.25 CRC of their bytes.
    uint32_t GetValue(const uint8_t* oid, uint32_t length, bool* failed);
    static bool MatchesOid(const uint8_t* oid, uint32_t length, const event_deferred_oid& row);
    void Log(uint16_t i);
    // The entry (0..limit-1) that the next event of class c takes.
    uint8_t AllocateEntry(uint8_t c);
    // Moves the used entries of class c to its front, in order.
    void CompactClass(uint8_t c);

    const event_config_state& State(uint32_t i) const { return m_State[i]; }
    uint8_t Countdown() const { return m_byCountdown; }

    // The communication task's fdot comm-loss condition (central silent for
    // the fdot comm-loss time while that check is enabled) suppresses
    // logging. Null: never suppressed.
    typedef bool (*comm_loss_query)();
    static void SetCommLossQuery(comm_loss_query query);

private:
    bool Deferred(const uint8_t* oid, uint32_t length) const;
    void Evaluate(uint16_t i, uint8_t mode, uint32_t now);
    // Accumulates the seconds since the last evaluation that met the condition.
    void Accumulate(event_config_state& s, uint32_t now);
    // Entry n free: the given ID, time 0, value empty.
    void ClearEntry(uint32_t n, uint16_t id);

    event_config_state m_State[EVENT_CONFIGS];
    uint8_t m_byCountdown;
};

// The schedule task's logger.
extern CEventLogging g_event_logging;
