// The sync plan as a pure function: what each side holds under one name,
// --delete and the direction -> the step. No server, no files.

#include <gtest/gtest.h>

#include "host/cli/sync_plan.h"
#include "host/cli/transfer.h"

namespace orvex::cli {
namespace {

constexpr std::time_t kTime = 1'700'000'007;  // not on a whole minute

SideItem Absent() { return {}; }
SideItem File(std::uint64_t size = 10, std::time_t time = kTime) { return {ItemKind::File, {size, time}, false}; }
SideItem Folder() { return {ItemKind::Folder, {}, false}; }
SideItem Link() { return {ItemKind::Link, {}, false}; }
SideItem Special() { return {ItemKind::Special, {}, false}; }
SideItem Unrepresentable(SideItem item) {
  item.unrepresentable = true;
  return item;
}

const char* ActionName(Action action) {
  static const char* const kNames[] = {"Nothing", "Skip",    "Copy",     "CreateFolder", "Descend",
                                       "Delete",  "ReplaceWithFile", "ReplaceWithFolder", "LeaveOut", "Refuse"};
  return kNames[static_cast<int>(action)];
}

TEST(SyncPlan, DecidesEachNameFromBothSides) {
  constexpr Direction kUp = Direction::Up;
  constexpr Direction kDown = Direction::Down;
  struct Case {
    const char* what;
    SideItem source, target;
    Direction direction;
    bool delete_extra;
    Action action;
  } cases[] = {
      // Files.
      {"new file", File(), Absent(), kUp, false, Action::Copy},
      {"same file", File(), File(), kDown, false, Action::Skip},
      {"size differs", File(11), File(10), kUp, false, Action::Copy},
      {"source clearly newer", File(10, kTime + 60), File(10, kTime), kDown, false, Action::Copy},
      {"target edited later", File(10, kTime - 600), File(10, kTime), kUp, false, Action::Copy},
      {"target edited later, down", File(10, kTime - 600), File(10, kTime), kDown, false, Action::Copy},
      // Folders.
      {"new folder", Folder(), Absent(), kDown, false, Action::CreateFolder},
      {"folder on both sides", Folder(), Folder(), kUp, true, Action::Descend},
      // Items only on the target side: deleted with --delete only.
      {"extra file kept", Absent(), File(), kDown, false, Action::Nothing},
      {"extra file deleted", Absent(), File(), kDown, true, Action::Delete},
      {"extra folder deleted", Absent(), Folder(), kUp, true, Action::Delete},
      {"extra local link deleted (itself)", Absent(), Link(), kDown, true, Action::Delete},
      {"extra FIFO deleted", Absent(), Special(), kDown, true, Action::Delete},
      // Another kind in the way: a failed step, or replaced with --delete.
      {"file over folder", File(), Folder(), kUp, false, Action::Refuse},
      {"file over folder, --delete", File(), Folder(), kUp, true, Action::ReplaceWithFile},
      {"folder over file", Folder(), File(), kDown, false, Action::Refuse},
      {"folder over file, --delete", Folder(), File(), kDown, true, Action::ReplaceWithFolder},
      // --down never follows a local link: a clash, or the link is replaced.
      {"folder over local link", Folder(), Link(), kDown, false, Action::Refuse},
      {"folder over local link, --delete", Folder(), Link(), kDown, true, Action::ReplaceWithFolder},
      {"file over local link", File(), Link(), kDown, false, Action::Refuse},
      {"file over local link, --delete", File(), Link(), kDown, true, Action::ReplaceWithFile},
      {"file over local FIFO", File(), Special(), kDown, false, Action::Refuse},
      // --up: what is neither file nor folder is not sent, and protects the
      // remote item of its name.
      {"local link to a folder", Link(), Absent(), kUp, true, Action::LeaveOut},
      {"local FIFO", Special(), Absent(), kUp, false, Action::LeaveOut},
      {"local FIFO beside a remote file", Special(), File(), kUp, false, Action::LeaveOut},
      {"local FIFO beside a remote file, --delete", Special(), File(), kUp, true, Action::Refuse},
      {"local link beside a remote folder, --delete", Link(), Folder(), kUp, true, Action::Refuse},
      // Names the server cannot show: never sent, never deleted.
      {"local name with \\ up", Unrepresentable(File()), Absent(), kUp, false, Action::Refuse},
      {"local name with \\ up, folder", Unrepresentable(Folder()), Absent(), kUp, true, Action::Refuse},
      {"local name with \\ down, kept", Absent(), Unrepresentable(File()), kDown, false, Action::Nothing},
      {"local name with \\ down, --delete", Absent(), Unrepresentable(File()), kDown, true, Action::Refuse},
      {"local folder with \\ down, --delete", Absent(), Unrepresentable(Folder()), kDown, true, Action::Refuse},
      // Names the server lists but no item path can hold ("a\\b", "x/y"):
      // never fetched, never deleted, and their local namesakes kept.
      {"remote name with / down", Unrepresentable(File()), Absent(), kDown, false, Action::Refuse},
      {"remote name with / down over its namesake, --delete", Unrepresentable(File()),
       Unrepresentable(File()), kDown, true, Action::Refuse},
      {"remote folder with \\ down over a file, --delete", Unrepresentable(Folder()), File(), kDown, true,
       Action::Refuse},
      {"remote name with \\ up, --delete", Absent(), Unrepresentable(File()), kUp, true, Action::Refuse},
      // A device or pipe the server lists: not copied, its namesake kept.
      {"remote pipe down", Special(), Absent(), kDown, false, Action::LeaveOut},
      {"remote pipe over a local file, --delete", Special(), File(), kDown, true, Action::Refuse},
  };
  for (const auto& test : cases) {
    const Decision decision = PlanItem(test.source, test.target, {test.direction, test.delete_extra, false});
    EXPECT_STREQ(ActionName(decision.action), ActionName(test.action)) << test.what;
    const bool explained = decision.action == Action::Refuse || decision.action == Action::LeaveOut;
    EXPECT_EQ(!decision.reason.empty(), explained) << test.what << ": " << decision.reason;
  }
}

TEST(SyncPlan, SizeOnlyIgnoresTimesAndTheServerSideGivesTheTolerance) {
  // Same size, source newer by 30 s: copied, unless sizes alone count or the
  // server's time (the target's on --up) falls on a whole minute, as in a
  // minutes-only listing.
  const SideItem newer = File(10, kTime + 30);
  EXPECT_EQ(PlanItem(newer, File(), {Direction::Up, false, false}).action, Action::Copy);
  EXPECT_EQ(PlanItem(newer, File(), {Direction::Up, false, true}).action, Action::Skip);
  const std::time_t minute = 1'700'000'040;
  EXPECT_EQ(PlanItem(File(10, minute + 30), File(10, minute), {Direction::Up, false, false}).action, Action::Skip);
  EXPECT_EQ(PlanItem(File(10, minute + 30), File(10, minute), {Direction::Down, false, false}).action, Action::Copy);
}

TEST(SyncPlan, WhatTheServerDoesWithTimesDecides) {
  PlanOptions up{Direction::Up, false, false};
  // A server that keeps its own clock on uploads: a remote copy newer than
  // its source is only the upload's date, and copying it again every run
  // would never end; a newer source still goes.
  up.uploads_keep_times = false;
  EXPECT_EQ(PlanItem(File(10, kTime - 600), File(10, kTime), up).action, Action::Skip);
  EXPECT_EQ(PlanItem(File(10, kTime + 600), File(10, kTime), up).action, Action::Copy);
  PlanOptions down{Direction::Down, false, false};
  down.uploads_keep_times = false;  // downloads always carry the remote time
  EXPECT_EQ(PlanItem(File(10, kTime - 600), File(10, kTime), down).action, Action::Copy);
  // A listing with seconds keeps the tight tolerance even on a whole minute.
  const std::time_t minute = 1'700'000'040;
  up = {Direction::Up, false, false};
  up.remote_in_minutes = false;
  EXPECT_EQ(PlanItem(File(10, minute + 30), File(10, minute), up).action, Action::Copy);
}

TEST(SyncPlan, NamesTheServerCannotShow) {
  for (const char* name : {"a\\b", "line\nbreak", "carriage\rreturn"}) EXPECT_FALSE(NameFitsServer(name)) << name;
  for (const char* name : {"plain", "ü ñ", "tab\there", "esc\x1b[2J", ".hidden", "a:b*c?"}) {
    EXPECT_TRUE(NameFitsServer(name)) << name;
  }
}

TEST(PartialNames, StayWithinTheNameLimitAndApart) {
  EXPECT_EQ(PartialName("report.pdf"), ".report.pdf" + std::string(kPartialSuffix));
  const std::string long_a = std::string(250, 'a');
  const std::string long_b = std::string(249, 'a') + "b";
  EXPECT_LE(PartialName(long_a).size(), 255u);
  EXPECT_NE(PartialName(long_a), PartialName(long_b));
  for (const auto& name : {std::string("x"), long_a}) EXPECT_TRUE(IsPartialName(PartialName(name))) << name;
  EXPECT_FALSE(IsPartialName("report" + std::string(kPartialSuffix)));
  EXPECT_FALSE(IsPartialName(std::string(kPartialSuffix)));
}

}  // namespace
}  // namespace orvex::cli
