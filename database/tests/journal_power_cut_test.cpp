// The power fails after every byte that a sequence of journal writes, or a
// defragmentation, programs: the next start finds each object at its value
// before or after the operation that was cut, never a mix or garbage, and
// the journal goes on working.
#include <functional>

#include "journal_fixture.h"

namespace {

const db_object kWord = nv::watchdogFailureCount;
const db_object kHalf = nv::dmsSignHeight;
const db_object kByte = nv::dmsSignType;
const db_object kText = nv::sysLocation;

struct State {
  uint32_t word, half, byte;
  std::string text;
  bool operator==(const State&) const = default;
};

std::ostream& operator<<(std::ostream& os, const State& s) {
  return os << "{" << s.word << "," << s.half << "," << s.byte << ",\"" << s.text << "\"}";
}

class PowerCutTest : public JournalTest {
 protected:
  State Now() { return {Nv(kWord), Nv(kHalf), Nv(kByte), Str(kText)}; }
  // Writes of the steps: once the power is gone the journal refuses them.
  void Put(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void PutStr(db_object o, const std::string& s) {
    db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, DB_NO_VALIDATE);
  }

  // Bytes programmed after each step of the operation, with the power on.
  std::vector<uint64_t> Measure(const std::function<void()>& prepare,
                                const std::vector<std::function<void()>>& steps, std::vector<State>* states) {
    prepare();
    std::vector<uint64_t> ends;
    uint64_t start = monitor::flash_bytes_programmed();
    states->push_back(Now());
    for (const auto& step : steps) {
      step();
      ends.push_back(monitor::flash_bytes_programmed() - start);
      states->push_back(Now());
    }
    return ends;
  }

  // Cuts the power after each byte the steps program and checks the start
  // that follows: the state is the one before or after the step that was
  // cut.
  void CutEverywhere(const std::function<void()>& prepare, const std::vector<std::function<void()>>& steps) {
    std::vector<State> states;
    std::vector<uint64_t> ends = Measure(prepare, steps, &states);
    ASSERT_GT(ends.back(), 0u);
    for (uint64_t cut = 0; cut < ends.back(); ++cut) {
      size_t k = 0;
      while (ends[k] <= cut) ++k;  // the step during which the power fails
      prepare();
      {
        trace_capture quiet;
        monitor::fault_power_cut_after(static_cast<int64_t>(cut));
        for (const auto& step : steps) step();
        ASSERT_FALSE(monitor::powered()) << cut;
        ASSERT_EQ(Replay(), 1) << cut << load_trace_;
      }
      State got = Now();
      EXPECT_TRUE(got == states[k] || got == states[k + 1])
          << "cut " << cut << " in step " << k << ": " << got << " is neither " << states[k] << " nor "
          << states[k + 1];
      // Exactly one journal file is left, and it takes more records.
      EXPECT_NE(Exists("nv1.dat"), Exists("nv2.dat")) << cut;
      SetNv(kByte, 200);
      ASSERT_EQ(Replay(), 1) << cut;
      State after = got;
      after.byte = 200;
      EXPECT_EQ(Now(), after) << cut;
      if (HasFailure()) return;
    }
  }
};

TEST_F(PowerCutTest, EveryByteOfASequenceOfAppends) {
  auto prepare = [&] {
    Wipe();
    Fresh();
    SetNv(kWord, 1);
    SetStr(kText, "first");
    SetNv(kByte, 5);
  };
  std::vector<std::function<void()>> steps = {
      [&] { Put(kWord, 2); },
      [&] { PutStr(kText, "second value"); },
      [&] { Put(kByte, 6); },
      [&] { Put(kHalf, 0x1234); },
      [&] { journal_->Deleting(); },
      [&] { PutStr(kText, ""); },
      [&] { Put(kWord, 0xFFFFFFFF); },  // erased-looking value bytes
      [&] { journal_->Deleting(); },
      [&] { PutStr(kText, "third"); },
      [&] { Put(kWord, 0); },
      [&] { journal_->Deleting(); },
  };
  CutEverywhere(prepare, steps);
}

TEST_F(PowerCutTest, EveryByteOfADefragmentation) {
  constexpr uint32_t kFirstOfMarch = 1709251200;
  auto prepare = [&] {
    Wipe();
    Fresh();
    SetNv(kWord, 1);
    SetNv(kWord, 2);
    SetStr(kText, "kept text");
    SetNv(kHalf, 4);
    journal_->Deleting();
    SetNv(kHalf, 5);  // superseded, not yet deleted: copied
    SetNv(nv::quorSpecialFeatureSet, 0x400);
    db_->SetValue(vol::controllerLocalTime.offset, 4, kFirstOfMarch - 86400, db_->mib_v, 0);
    for (int i = 0; i < 7; ++i) journal_->StateMachine_Defrag();
    db_->SetValue(vol::controllerLocalTime.offset, 4, kFirstOfMarch, db_->mib_v, 0);
  };
  std::vector<std::function<void()>> steps = {
      [&] { journal_->StateMachine_Defrag(); },  // creates nv2.dat
      [&] { rtos::run_in_thread([&] { journal_->StateMachine_Defrag(); }, 4); },  // copies, switches
      [&] { journal_->StateMachine_Defrag(); },  // cleans
      [&] { journal_->Deleting(); },
      [&] { Put(kWord, 3); },
  };
  CutEverywhere(prepare, steps);
  // Without a cut the copy is the live file.
  prepare();
  for (const auto& step : steps) step();
  EXPECT_STREQ(journal_->CurrentFileName(), "nv2.dat");
  EXPECT_FALSE(Exists("nv1.dat"));
}

}  // namespace
