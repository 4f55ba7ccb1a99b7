// The whole update of the core on the model file system: a clean update, then every operation of
// it failing in turn with every kind of fault. After each faulty run the install folder must hold
// the old set or the new set as a whole (a crash may leave the journal of an interrupted commit
// instead), `Updated` must say which, no file may be left open, and one more clean run must end
// with the new set and nothing left behind. Natively this runs in seconds; the same loop runs
// smaller under Wine over the real Win32 operations (update_procedure_test.cpp).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/update/model_fs/model_file_system.h"
#include "tests/update/side_files.h"
#include "update/core/perform_update.h"
#include "update/core/sum_file.h"
#include "update/core/update_commit.h"

namespace {

const char kInstall[] = "C:\\Games\\Hoshi";

// The player's side as a recorder: no display, every question answered yes, each wait moving the
// model's clock on.
struct Recorder {
    ModelFileSystem* model;
    std::vector<std::string> events;
    std::function<void(const char* name)> onBeginFile;  // when set: as each file begins
    int open = -1;                                      // the stage whose display is open
};

// A display of the stage already open stays, as the copy dialog does.
void RecOpen(void* c, UpdateStage stage, uint64_t) {
    Recorder* r = (Recorder*)c;
    if (r->open == stage) return;
    r->open = stage;
    r->events.push_back(stage == kStageList ? "open list" : "open executable");
}
void RecClose(void* c) {
    ((Recorder*)c)->open = -1;
}
void RecShowStep(void*, UpdateStep) {}
void RecBeginFile(void* c, const char* name, uint64_t) {
    Recorder* r = (Recorder*)c;
    if (r->onBeginFile) r->onBeginFile(name);
}
void RecAdvance(void*, uint64_t, uint64_t) {}
void RecWait(void* c, uint32_t ms, const bool*) {
    ModelWait(((Recorder*)c)->model, ms);
}
void RecTell(void* c, UpdateNotice notice, const char* file) {
    std::vector<std::string>& events = ((Recorder*)c)->events;
    switch (notice) {
        case kNoticeRecovered:
            events.push_back("recovered");
            break;
        case kNoticeWasPartly:
            events.push_back("was partly");
            break;
        case kNoticeSideFileLeft:
            events.push_back(std::string("left ") + file);
            break;
    }
}
bool RecAskFileByFile(void* c, uint64_t, uint64_t) {
    ((Recorder*)c)->events.push_back("asked file by file");
    return true;
}

struct Fault {
    const char* name;
    FsError error;  // kFsOk: a crash
};
const Fault kFaults[] = {
    {"disk full", kFsDiskFull},       {"held", kFsHeld},         {"access denied", kFsAccessDenied},
    {"device error", kFsDeviceError}, {"other error", kFsOther}, {"crash", kFsOk},
};

class ModelUpdate : public ::testing::Test {
protected:
    ModelFileSystem model;
    Recorder recorder;
    UpdateProgress progress;

    void SetUp() override {
        ModelInit(&model);
        recorder.model = &model;
        progress = {&recorder,  RecOpen, RecClose, RecShowStep,     RecBeginFile,
                    RecAdvance, RecWait, RecTell,  RecAskFileByFile};
        ModelSetCurrentFolder(&model, "M:\\");
        ModelAddFile(&model, "M:\\vorlin.bin", "new game");
        ModelAddFile(&model, "M:\\update.arc", std::string(5000, 'u'));
        ModelAddFile(&model, "M:\\data.arc", std::string(300000, 'd'));  // three chunks
        ModelAddFile(&model, "M:\\voice.arc", std::string(20000, 'v'));  // added: no old one
        ModelAddFile(&model, "M:\\help\\index.htm", "new help");
        ModelAddFile(&model, "M:\\help\\\x95\x5c.htm", "hyou");  // 0x5C as a trail byte
    }
    // The old game; without its help folder, the update makes that folder.
    bool oldGameHasHelp = true;
    void MakeOldGame() {
        ModelAddFolder(&model, kInstall);
        ModelAddFile(&model, "C:\\Games\\Hoshi\\vorlin.exe", "old game");
        ModelAddFile(&model, "C:\\Games\\Hoshi\\update.arc", "old update");
        ModelAddFile(&model, "C:\\Games\\Hoshi\\data.arc", "old data");
        if (oldGameHasHelp) {
            ModelAddFile(&model, "C:\\Games\\Hoshi\\help\\index.htm", "old help");
        }
    }
    // One clean update of the old game on a fresh disk, traced: the game before and after it,
    // the operation before its first, and the operations it takes (trace line k is operation
    // first + k).
    struct CleanUpdate {
        std::map<std::string, std::string> oldSet, newSet;
        uint32_t first = 0, operations = 0;
    };
    CleanUpdate MeasureCleanUpdate() {
        StartOver();
        CleanUpdate clean;
        clean.oldSet = Installed();
        model.tracing = true;
        clean.first = model.operations;
        EXPECT_EQ(Run(), kUpdateDone);
        clean.operations = model.operations - clean.first;
        clean.newSet = Installed();
        return clean;
    }
    // Recovery alone, as the next update begins with it, in a process of its own.
    RecoveryResult RecoverAlone() {
        UpdateRun recovery;
        BeginUpdateRun(&recovery, &model.fs, &progress, kInstall, "vorlin.exe");
        RecoveryResult result = RecoverInterruptedUpdate(&recovery);
        EndUpdateRun(&recovery);
        ModelEndProcess(&model);
        return result;
    }
    // One update; its outcome, and the run's end state in *ended.
    // Each run has a run of its own, as each launcher does.
    uint32_t nextRunId = 0x5eed0001;
    uint32_t lastRunId = 0;
    UpdateOutcome Run(UpdateRun* ended = nullptr, const char* folder = kInstall) {
        UpdateRun run;
        BeginUpdateRun(&run, &model.fs, &progress, folder, "vorlin.exe");
        run.runId = lastRunId = nextRunId++;
        UpdateOutcome outcome = PerformUpdate(&run);
        if (ended) *ended = run;
        ended ? (void)(ended->plan = {}, ended->seal = {}) : (void)0;
        EndUpdateRun(&run);
        ModelEndProcess(&model);
        return outcome;
    }
    std::map<std::string, std::string> Installed(const char* folder = kInstall) {
        return ModelSnapshot(&model, folder);
    }
    // A fresh disk (SetUp makes the model anew) with the old game installed.
    void StartOver() {
        SetUp();
        MakeOldGame();
    }
};

TEST_F(ModelUpdate, CleanUpdateInstallsTheNewSetAndRecordsIt) {
    MakeOldGame();
    UpdateRun run;
    EXPECT_EQ(Run(&run), kUpdateDone);
    std::map<std::string, std::string> expected = {
        {"data.arc", std::string(300000, 'd')},
        {"help\\", ""},
        {"help\\index.htm", "new help"},
        {"help\\\x95\x5c.htm", "hyou"},
        {"update.arc", std::string(5000, 'u')},
        {"voice.arc", std::string(20000, 'v')},
        {"vorlin.exe", "new game"},
    };
    EXPECT_EQ(Installed(), expected);
    EXPECT_TRUE(model.updated);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"open executable", "open list"}));
}

// After every faulty run, recovery alone must leave the old set or the new set exactly: the new
// set only where the update had reached its commit point. The run's own word is checked against
// the folder: "restored" and "unchanged" must find the old game (a folder the update made may wait,
// empty, for the next update while the journal naming it stays); an undo that does not finish is
// accepted only after a crash, since one fault leaves the undo's own operations whole. The loop
// runs over an old game with its help folder and one without it, which the update makes.
TEST_F(ModelUpdate, EveryOperationFailingLeavesTheGameWhollyOldOrNewAndTheNextRunRepairsIt) {
    int runs = 0;
    for (bool hasHelp : {true, false}) {
        oldGameHasHelp = hasHelp;
        const CleanUpdate clean = MeasureCleanUpdate();
        const std::map<std::string, std::string>& oldSet = clean.oldSet;
        const std::map<std::string, std::string>& newSet = clean.newSet;
        const uint32_t operations = clean.operations;
        ASSERT_GT(operations, 40u);
        for (const Fault& fault : kFaults) {
            int oldAfter = 0, newAfter = 0, interrupted = 0;
            for (uint32_t n = 1; n <= operations; n++) {
                SCOPED_TRACE(std::string(fault.name) + " at operation " + std::to_string(n) +
                             " of " + std::to_string(operations) +
                             (hasHelp ? "" : ", the update making the help folder"));
                StartOver();
                model.updated = false;
                uint32_t at = model.operations + n;
                if (fault.error == kFsOk) {
                    model.crashAt = at;
                } else {
                    model.failures[at] = fault.error;
                }
                UpdateRun run;
                UpdateOutcome outcome = Run(&run);
                runs++;
                std::map<std::string, std::string> after = Installed();
                bool journal =
                    after.count("~vup-journal.txt") != 0 && after.count("~vup-commit.txt") == 0;
                std::map<std::string, std::string> game = WithoutSideFiles(after);
                bool done = outcome == kUpdateDone || outcome == kUpdateNotRecorded;
                if (fault.error != kFsOk) {
                    EXPECT_TRUE(ModelOpenHandles(&model).empty()) << "a file left open";
                    EXPECT_NE(run.game, kGameNotRestored) << "the undo itself was not faulted";
                    EXPECT_EQ(model.updated, outcome == kUpdateDone);
                    if (done) {
                        EXPECT_EQ(game, newSet);
                    } else {
                        // The help folder the update made may stay, empty, under its journal.
                        std::map<std::string, std::string> old = game;
                        if (journal && !hasHelp) old.erase("help\\");
                        EXPECT_EQ(old, oldSet) << "the player is told the game is old";
                    }
                }
                interrupted += journal && run.game == kGameNotRestored;
                RecoveryResult recovered = RecoverAlone();
                EXPECT_NE(recovered, kInterruptedUpdateNotUndone);
                after = Installed();
                EXPECT_EQ(after.count("~vup-journal.txt"), 0u) << "recovery left the journal";
                game = WithoutSideFiles(after);
                if (game == newSet) {
                    newAfter++;
                    EXPECT_TRUE(fault.error == kFsOk || done) << "new, but not told so";
                } else {
                    oldAfter++;
                    EXPECT_EQ(game, oldSet) << "after recovery alone";
                    EXPECT_FALSE(done) << "told done, but the game is old";
                }
                // The next update, without faults, installs the new set and leaves nothing else.
                EXPECT_EQ(Run(), kUpdateDone);
                EXPECT_EQ(Installed(), newSet) << "after the next update";
                EXPECT_TRUE(model.updated);
                if (fault.error == kFsOk && journal) {
                    // The same interrupted update met by the next update itself: it undoes it
                    // first, and tells the player so where an installed file had been touched.
                    StartOver();
                    model.crashAt = model.operations + n;
                    Run();
                    std::map<std::string, std::string> touched = WithoutSideFiles(Installed());
                    if (!hasHelp) touched.erase("help\\");  // made, empty
                    recorder.events.clear();
                    EXPECT_EQ(Run(), kUpdateDone);
                    EXPECT_EQ(
                        std::count(recorder.events.begin(), recorder.events.end(), "recovered"),
                        touched != oldSet ? 1 : 0);
                    EXPECT_EQ(Installed(), newSet) << "after the update that recovered";
                }
                if (HasFailure()) return;  // one broken operation tells enough
            }
            printf(
                "[ faults   ] %s%s: %u operations; after recovery: %d old, %d new (%d commits "
                "left interrupted)\n",
                fault.name, hasHelp ? "" : " (help folder made)", operations, oldAfter, newAfter,
                interrupted);
        }
    }
    printf("[ faults   ] %d faulty runs in all\n", runs);
}

// The operation numbers whose trace line holds `what`.
std::vector<uint32_t> OperationsWith(const ModelFileSystem& model, const std::string& what) {
    std::vector<uint32_t> found;
    for (uint32_t i = 0; i < model.trace.size(); i++) {
        if (model.trace[i].find(what) != std::string::npos) found.push_back(i + 1);
    }
    return found;
}

// The operation numbers (counted from the model's first) whose trace line begins with `what`.
std::vector<uint32_t> OperationsOf(const ModelFileSystem& model, const std::string& what) {
    std::vector<uint32_t> found;
    for (uint32_t i = 0; i < model.trace.size(); i++) {
        if (model.trace[i].compare(0, what.size(), what) == 0) found.push_back(i + 1);
    }
    return found;
}

// A seal that lists a file the update does not copy (help\sub\x.htm: only files directly in help
// are copied) is refused before the first byte: the media is not the one sealed.
TEST_F(ModelUpdate, SealedFileTheUpdateDoesNotCopyIsRefused) {
    MakeOldGame();
    ModelAddFile(&model, "M:\\help\\sub\\x.htm", "deep");
    std::string list = "VORLIN-SUM 1 XXH3-64\n";
    std::vector<SumEntry> entries;
    for (const char* name : {"vorlin.bin", "update.arc", "data.arc", "voice.arc", "help\\index.htm",
                             "help\\\x95\x5c.htm", "help\\sub\\x.htm"}) {
        std::string bytes;
        ASSERT_TRUE(ModelReadFile(&model, (std::string("M:\\") + name).c_str(), &bytes));
        SumEntry e = {};
        e.digest = ComputeSumDigest(bytes.data(), bytes.size());
        e.size = bytes.size();
        snprintf(e.name, sizeof e.name, "%s", name);
        entries.push_back(e);
    }
    char* text = nullptr;
    size_t length = 0;
    ASSERT_EQ(FormatSumFile(entries.data(), (uint32_t)entries.size(), &text, &length), kSumOk);
    ModelAddFile(&model, "M:\\update.sum", std::string(text, length));
    free(text);
    std::map<std::string, std::string> before = Installed();
    UpdateRun run;
    EXPECT_EQ(Run(&run), kUpdateRefused);
    EXPECT_EQ(run.refusal, kRefusedSealedNotCopied);
    EXPECT_STREQ(run.failedFile, "help\\sub\\x.htm");
    EXPECT_EQ(Installed(), before);
    EXPECT_FALSE(model.updated);
}

// Access denied that ends (a scanner, a name pending deletion) is waited out like a sharing hold;
// one that lasts is told by what a probe can prove.
TEST_F(ModelUpdate, AccessDeniedIsWaitedOutAndToldByItsCause) {
    struct Case {
        const char* name;
        uint64_t untilMs;  // the denial of data.arc ends then (0: it lasts)
        bool readOnlyDrive;
        UpdateOutcome outcome;
        UpdateFailure failure;
        const char* file;  // the file the run names
    };
    const Case cases[] = {
        {"a denial that ends", 300, false, kUpdateDone, kFailNone, ""},
        {"a denial that lasts, in a folder that can be written", 0, false, kUpdateStopped,
         kFailInUse, "C:\\Games\\Hoshi\\data.arc"},
        {"a drive that cannot be written", 0, true, kUpdateStopped, kFailAccessDenied,
         "C:\\Games\\Hoshi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        if (c.readOnlyDrive)
            ModelSetDrive(&model, 'C', kModelDefaultCapacity, kModelDefaultCluster, true);
        uint32_t denial = c.readOnlyDrive ? 0
                                          : ModelDeny(&model, "C:\\Games\\Hoshi\\data.arc",
                                                      c.untilMs ? model.nowMs + c.untilMs : 0, 0);
        UpdateRun run;
        UpdateOutcome outcome = Run(&run);
        ModelRelease(&model, denial);
        if (c.outcome == kUpdateDone) {
            EXPECT_EQ(outcome, kUpdateDone);
            std::string bytes;
            EXPECT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\data.arc", &bytes));
            EXPECT_EQ(bytes, std::string(300000, 'd'));
        } else {
            EXPECT_EQ(outcome, c.outcome);
            EXPECT_EQ(run.failure, c.failure);
            EXPECT_STREQ(run.failedFile, c.file);
            EXPECT_EQ(WithoutSideFiles(Installed()).count("data.arc"), 1u);
        }
    }
}

// The record of the update fails: every file is in place, and the run says the record is missing
// instead of done.
TEST_F(ModelUpdate, RecordThatCannotBeWrittenIsTold) {
    MakeOldGame();
    model.tracing = true;
    uint32_t before = model.operations;
    ASSERT_EQ(Run(), kUpdateDone);
    std::vector<uint32_t> record = OperationsOf(model, "markUpdated");
    ASSERT_EQ(record.size(), 1u);
    std::map<std::string, std::string> newSet = Installed();
    StartOver();
    model.failures[model.operations + record[0] - before] = kFsOther;
    EXPECT_EQ(Run(), kUpdateNotRecorded);
    EXPECT_FALSE(model.updated);
    EXPECT_EQ(Installed(), newSet);
}

// An install folder that is there but cannot be looked at is told by its cause, not as missing.
TEST_F(ModelUpdate, InstallFolderThatCannotBeLookedAtIsNotCalledMissing) {
    MakeOldGame();
    model.tracing = true;
    uint32_t first = model.operations;
    Run();
    std::vector<uint32_t> looks = OperationsOf(model, "getAttributes C:\\Games\\Hoshi");
    ASSERT_FALSE(looks.empty());
    StartOver();
    model.failures[model.operations + looks[0] - first] = kFsDeviceError;
    UpdateRun run;
    EXPECT_EQ(Run(&run), kUpdateStopped);
    EXPECT_EQ(run.refusal, kRefusedNone);
    EXPECT_EQ(run.failure, kFailOther);
    EXPECT_STREQ(run.failedFile, kInstall);
}

// A commit that fails and is undone whole, but whose journal cannot be removed: the game is the
// old one, and the run says so; the next update finds nothing left to undo and installs the new
// set.
TEST_F(ModelUpdate, UndoneCommitWhoseJournalStaysIsStillRestored) {
    const CleanUpdate clean = MeasureCleanUpdate();
    const std::map<std::string, std::string>& oldSet = clean.oldSet;
    const std::map<std::string, std::string>& newSet = clean.newSet;
    uint32_t first = clean.first;
    // The third draft moved in fails; then the undo's removal of the journal fails too.
    std::vector<uint32_t> renames = OperationsWith(model, "00000002.new > ");
    ASSERT_EQ(renames.size(), 1u);
    StartOver();
    model.tracing = true;
    first = model.operations;
    model.failures[first + renames[0]] = kFsOther;
    Run();
    std::vector<uint32_t> removals =
        OperationsOf(model, "remove C:\\Games\\Hoshi\\~vup-journal.txt");
    ASSERT_FALSE(removals.empty());
    StartOver();
    first = model.operations;
    model.failures[first + renames[0]] = kFsOther;
    model.failures[first + removals.back()] = kFsOther;
    UpdateRun run;
    EXPECT_EQ(Run(&run), kUpdateStopped);
    EXPECT_EQ(run.game, kGameRestored);
    EXPECT_EQ(WithoutSideFiles(Installed()), oldSet);
    EXPECT_EQ(Run(), kUpdateDone);
    EXPECT_EQ(Installed(), newSet);
}

// The power fails at every operation of a clean update, keeping each ordered prefix of the file
// system's changes that were not yet on the disk, and every file's flushed bytes. Recovery alone
// must then leave the game wholly old or wholly new, byte for byte; the next update must end with
// the new set and nothing of the update left.
TEST_F(ModelUpdate, PowerCutAtEveryOperationThenRecoveryLeavesTheGameWhole) {
    for (bool hasHelp : {true, false}) {
        oldGameHasHelp = hasHelp;
        const CleanUpdate clean = MeasureCleanUpdate();
        const std::map<std::string, std::string>& oldSet = clean.oldSet;
        const std::map<std::string, std::string>& newSet = clean.newSet;
        const uint32_t operations = clean.operations;
        int cuts = 0, oldAfter = 0, newAfter = 0;
        for (uint32_t n = 1; n <= operations; n++) {
            for (uint32_t keep = 0;; keep++) {
                SCOPED_TRACE("power cut at operation " + std::to_string(n) + " of " +
                             std::to_string(operations) + ", keeping " + std::to_string(keep) +
                             (hasHelp ? "" : ", the update making the help folder"));
                StartOver();
                model.crashAt = model.operations + n;
                {
                    UpdateRun run;
                    BeginUpdateRun(&run, &model.fs, &progress, kInstall, "vorlin.exe");
                    PerformUpdate(&run);
                    EndUpdateRun(&run);
                }
                uint32_t pending = ModelPendingMetadataCount(&model);
                if (keep > pending) break;
                ModelPowerCut(&model, keep);
                cuts++;
                EXPECT_NE(RecoverAlone(), kInterruptedUpdateNotUndone);
                std::map<std::string, std::string> after = Installed();
                EXPECT_EQ(after.count("~vup-journal.txt"), 0u) << "recovery left the journal";
                std::map<std::string, std::string> game = WithoutSideFiles(after);
                if (game == newSet) {
                    newAfter++;
                } else {
                    oldAfter++;
                    EXPECT_EQ(game, oldSet) << "neither the old game nor the new one";
                }
                EXPECT_EQ(Run(), kUpdateDone);
                EXPECT_EQ(Installed(), newSet) << "after the next update";
                if (HasFailure()) return;
            }
        }
        printf("[ power    ] %u operations%s, %d cuts: %d old, %d new after recovery\n", operations,
               hasHelp ? "" : " (help folder made)", cuts, oldAfter, newAfter);
    }
}

// An update that has said it is done stays done through a power cut that loses every change the
// file system had not yet made durable: its commit point was flushed by the update itself.
TEST_F(ModelUpdate, FinishedUpdateSurvivesAPowerCut) {
    for (bool oneAtATime : {false, true}) {
        SCOPED_TRACE(oneAtATime ? "one file at a time" : "all at once");
        StartOver();
        if (oneAtATime) {
            // A drive with room for the one-at-a-time order only (the player says yes to it).
            ModelSetDrive(&model, 'C', 64 * 1024, kModelDefaultCluster, false);
            UpdateRun refused;
            ASSERT_EQ(Run(&refused), kUpdateRefused);
            uint64_t used = 64 * 1024 - ModelFreeBytes(&model, 'C');
            ModelSetDrive(&model, 'C', used + (refused.figures[0] + refused.figures[1]) / 2,
                          kModelDefaultCluster, false);
        }
        ASSERT_EQ(Run(), kUpdateDone);
        std::map<std::string, std::string> newSet = WithoutSideFiles(Installed());
        // Each file of the one-at-a-time order was put in place by a rename written through:
        // no later flush of the update's orders it before the record in the registry.
        ModelPowerCut(&model, 0);
        EXPECT_NE(RecoverAlone(), kInterruptedUpdateNotUndone);
        EXPECT_TRUE(WithoutSideFiles(Installed()) == newSet) << "the update said it was done";
        EXPECT_TRUE(model.updated);
    }
}

// A second launcher on the same install folder, of another title or version, starting while the
// first drafts data.arc: it is refused before it touches anything, and the first update ends with
// its own files.
TEST_F(ModelUpdate, SecondLauncherOnTheSameFolderIsRefused) {
    MakeOldGame();
    std::map<std::string, std::string> during;
    UpdateOutcome second = kUpdateDone;
    UpdateRun secondRun;
    Recorder other = {&model, {}, nullptr};
    UpdateProgress otherProgress = progress;
    otherProgress.context = &other;
    recorder.onBeginFile = [&](const char* name) {
        if (strcmp(name, "data.arc") != 0 || !during.empty()) return;
        during = Installed();
        UpdateRun run;
        BeginUpdateRun(&run, &model.fs, &otherProgress, kInstall, "game.exe");
        second = PerformUpdate(&run);
        secondRun = run;
        secondRun.plan = {};
        secondRun.seal = {};
        secondRun.lock = nullptr;
        EndUpdateRun(&run);
    };
    EXPECT_EQ(Run(), kUpdateDone);
    EXPECT_EQ(second, kUpdateRefused);
    EXPECT_EQ(secondRun.refusal, kRefusedUpdateRunning);
    EXPECT_STREQ(secondRun.failedFile, kInstall);
    EXPECT_EQ(WithoutSideFiles(Installed()).count("vorlin.exe"), 1u);
    std::string exe;
    EXPECT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\vorlin.exe", &exe));
    EXPECT_EQ(exe, "new game");
    EXPECT_EQ(Installed().count("~vup-lock.txt"), 0u) << "the lock is gone with the update";
}

// A journal that cannot be read (damaged, cut short, or of a later format) beside the backups of
// an interrupted commit is the only record of what they stand for: nothing is deleted, and the
// player is told; one cut short before any file was touched is removed, and the update goes on.
TEST_F(ModelUpdate, UnreadableJournalBesideBackupsDeletesNothing) {
    const char kJournal[] = "C:\\Games\\Hoshi\\~vup-journal.txt";
    struct Case {
        const char* name;
        bool interrupted;  // the commit had begun: backups exist
        std::function<std::string(const std::string&)> damage;
        UpdateOutcome outcome;
    };
    const Case cases[] = {
        {"a later format", true,
         [](const std::string& j) { return "VORLIN-JOURNAL 3" + j.substr(16); }, kUpdateStopped},
        {"its END line cut", true,
         [](const std::string& j) { return j.substr(0, j.rfind("END ") + 6); }, kUpdateStopped},
        {"cut after its first line", true,
         [](const std::string& j) { return j.substr(0, j.find('\n') + 1); }, kUpdateStopped},
        {"garbage", true, [](const std::string&) { return std::string("\x01\x02garbage"); },
         kUpdateStopped},
        {"cut short before any file was touched", false,
         [](const std::string& j) { return j.substr(0, j.size() / 2); }, kUpdateDone},
    };
    // Where the first old file is moved aside: the commit has begun.
    const uint32_t first = MeasureCleanUpdate().first;
    std::vector<uint32_t> asides = OperationsOf(model, "rename C:\\Games\\Hoshi\\vorlin.exe > ");
    std::vector<uint32_t> journals = OperationsOf(model, "flush");
    ASSERT_EQ(asides.size(), 1u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        // Killed just after the first old file was moved aside; or, for a journal cut short
        // while it was written, just before the commit began.
        model.crashAt = model.operations + asides[0] + 1 - first;
        Run();
        std::string journal;
        ASSERT_TRUE(ModelReadFile(&model, kJournal, &journal));
        if (!c.interrupted) {
            // Back to the moment before the first rename: the old file in place again.
            std::string backup;
            char name[64];
            snprintf(name, sizeof name, "C:\\Games\\Hoshi\\~vup%08x00000000.old", lastRunId);
            ASSERT_TRUE(ModelReadFile(&model, name, &backup));
            ModelAddFile(&model, "C:\\Games\\Hoshi\\vorlin.exe", backup);
            model.fs.remove(model.fs.context, name);
            ModelEndProcess(&model);
        }
        ModelAddFile(&model, kJournal, c.damage(journal));
        std::map<std::string, std::string> before = Installed();
        before.erase("~vup-lock.txt");  // the killed launcher's lock: taken over and removed
        UpdateRun run;
        EXPECT_EQ(Run(&run), c.outcome);
        if (c.outcome == kUpdateStopped) {
            EXPECT_EQ(run.failure, kFailJournalUnreadable);
            EXPECT_STREQ(run.failedFile, kJournal);
            std::map<std::string, std::string> after = Installed();
            for (const auto& e : before) {
                EXPECT_TRUE(after.count(e.first) && after[e.first] == e.second)
                    << e.first << " was deleted or changed";
            }
            EXPECT_EQ(after.size(), before.size()) << "nothing added";
        } else {
            EXPECT_EQ(Installed().count("~vup-journal.txt"), 0u);
        }
    }
}

// Side files another update left, which the sweep cannot remove because a program holds them,
// have names no later update uses: the update goes on around them and never takes one for its own
// backup, whatever the update is stopped by.
TEST_F(ModelUpdate, StaleSideFilesHeldOpenAreNeverTakenForThisUpdates) {
    struct Case {
        const char* name;
        bool cancelAtTheCommit;  // stopped after the first old file was moved aside
    };
    const Case cases[] = {{"a whole update", false}, {"an update undone", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        std::map<std::string, std::string> oldSet = Installed();
        // What an earlier update of run 1 and one of an earlier launcher left, each held open.
        const char* stale[] = {"C:\\Games\\Hoshi\\~vup0000000100000002.old",
                               "C:\\Games\\Hoshi\\~vup00000002.old"};
        for (const char* name : stale) {
            ModelAddFile(&model, name, "STALE");
            ASSERT_NE(ModelHold(&model, name, kFsRead, kFsShareRead), 0u);
        }
        if (c.cancelAtTheCommit) {
            recorder.onBeginFile = [&](const char*) {};
            model.tracing = true;
        }
        UpdateRun run;
        UpdateOutcome outcome = kUpdateDone;
        if (c.cancelAtTheCommit) {
            // Fails the commit's second rename: the first old file is moved aside and back.
            uint32_t first = model.operations;
            Run();
            std::vector<uint32_t> renames = OperationsOf(model, "rename C:\\Games\\Hoshi\\");
            StartOver();
            for (const char* name : stale) {
                ModelAddFile(&model, name, "STALE");
                ModelHold(&model, name, kFsRead, kFsShareRead);
            }
            ASSERT_GE(renames.size(), 2u);
            model.failures[model.operations + renames[1] - first] = kFsOther;
            outcome = Run(&run);
            EXPECT_EQ(outcome, kUpdateStopped);
            EXPECT_EQ(run.game, kGameRestored);
            EXPECT_EQ(WithoutSideFiles(Installed()), WithoutSideFiles(oldSet));
        } else {
            recorder.events.clear();
            EXPECT_EQ(Run(&run), kUpdateDone);
            // The player is told of the first one left.
            std::vector<std::string> told;
            for (const std::string& e : recorder.events) {
                if (e.compare(0, 5, "left ") == 0) told.push_back(e.substr(5));
            }
            ASSERT_EQ(told.size(), 1u);
            EXPECT_TRUE(told[0] == stale[0] || told[0] == stale[1]) << told[0];
            std::string exe, data;
            EXPECT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\vorlin.exe", &exe));
            EXPECT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\data.arc", &data));
            EXPECT_EQ(exe, "new game");
            EXPECT_EQ(data, std::string(300000, 'd'));
        }
        for (const char* name : stale) {
            std::string bytes;
            EXPECT_TRUE(ModelReadFile(&model, name, &bytes)) << name;
            EXPECT_EQ(bytes, "STALE") << name;
        }
    }
}

// Side files of earlier updates that another program holds for a moment (a scanner), or refuses
// for a moment with access denied, are removed once it lets go, within the hold limit shared by
// the sweep, and the player is told nothing.
TEST_F(ModelUpdate, StaleSideFilesHeldForAMomentAreRemoved) {
    MakeOldGame();
    const char* stale[] = {"C:\\Games\\Hoshi\\~vup0000000100000002.old",
                           "C:\\Games\\Hoshi\\~vup0000000100000003.new",
                           "C:\\Games\\Hoshi\\help\\~vup0000000100000004.new"};
    for (const char* name : stale) ModelAddFile(&model, name, "STALE");
    ModelHoldUntil(&model, stale[0], kFsRead, kFsShareRead, model.nowMs + 400);
    ModelDeny(&model, stale[1], model.nowMs + 700, 0);
    ModelHoldForTries(&model, stale[2], kFsRead, kFsShareRead, 3);
    recorder.events.clear();
    EXPECT_EQ(Run(), kUpdateDone);
    for (const char* name : stale) EXPECT_FALSE(ModelExists(&model, name)) << name;
    for (const std::string& e : recorder.events) EXPECT_NE(e.compare(0, 5, "left "), 0) << e;
}

// Only the one-at-a-time order fits the drive, and the player takes it; the update stops after
// the executable was replaced. The record it left tells the next update that the game is partly
// updated; that update says so, makes the game whole and removes the record.
TEST_F(ModelUpdate, OneAtATimeOrderLeavesARecordOfItself) {
    MakeOldGame();
    // The room the update needs in both orders, from a drive too small for either.
    ModelSetDrive(&model, 'C', 64 * 1024, kModelDefaultCluster, false);
    UpdateRun refused;
    ASSERT_EQ(Run(&refused), kUpdateRefused);
    ASSERT_EQ(refused.refusal, kRefusedNoRoom);
    uint64_t allAtOnce = refused.figures[0], oneAtATime = refused.figures[1];
    ASSERT_LT(oneAtATime, allAtOnce);
    uint64_t used = 64 * 1024 - ModelFreeBytes(&model, 'C');
    ModelSetDrive(&model, 'C', used + (oneAtATime + allAtOnce) / 2, kModelDefaultCluster, false);
    // Stopped as update.arc is drafted, after the executable was put in place.
    recorder.onBeginFile = [&](const char* name) {
        if (strcmp(name, "update.arc") == 0) model.crashAt = model.operations + 1;
    };
    Run();
    recorder.onBeginFile = nullptr;
    std::string exe;
    ASSERT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\vorlin.exe", &exe));
    EXPECT_EQ(exe, "new game") << "the executable was replaced at once";
    EXPECT_EQ(Installed().count("~vup-partly.txt"), 1u);
    recorder.events.clear();
    EXPECT_EQ(Run(), kUpdateDone);
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "was partly"), 1);
    EXPECT_EQ(Installed().count("~vup-partly.txt"), 0u);
    std::string data;
    ASSERT_TRUE(ModelReadFile(&model, "C:\\Games\\Hoshi\\data.arc", &data));
    EXPECT_EQ(data, std::string(300000, 'd'));
}

// A second fault: a commit is interrupted (the process killed at each operation of the commit),
// then the next update's recovery is hit in turn at each of its first operations, by an error, by
// another kill, or by a power cut; the third update must still end with the whole new game and
// nothing of the updates left.
// An update killed in the middle of its commit, and the next one pointed at another install folder
// (the player chose another in the dialog, and the registry names neither): the first folder's
// commit is undone all the same, and the player told; an undo that cannot be made there stops the
// update, naming the file in that folder.
TEST_F(ModelUpdate, InterruptedCommitIsFoundWhereverTheNextUpdateIsPointed) {
    const char kOther[] = "C:\\Games\\Other";
    const CleanUpdate clean = MeasureCleanUpdate();
    const std::map<std::string, std::string>& oldSet = clean.oldSet;
    const uint32_t first = clean.first;
    std::vector<uint32_t> asides = OperationsOf(model, "rename C:\\Games\\Hoshi\\vorlin.exe > ");
    ASSERT_EQ(asides.size(), 1u);
    EXPECT_EQ(model.notedCommit, "") << "a done update leaves no note";
    for (bool journalReadable : {true, false}) {
        SCOPED_TRACE(journalReadable ? "a journal to undo" : "a journal that cannot be read");
        StartOver();
        model.crashAt = model.operations + asides[0] + 1 - first;
        Run();
        ASSERT_EQ(model.notedCommit, kInstall);
        if (!journalReadable) ModelAddFile(&model, "C:\\Games\\Hoshi\\~vup-journal.txt", "\x01");
        ModelAddFolder(&model, kOther);
        ModelAddFile(&model, "C:\\Games\\Other\\vorlin.exe", "old game");
        recorder.events.clear();
        UpdateRun run;
        UpdateOutcome outcome = Run(&run, kOther);
        if (journalReadable) {
            EXPECT_EQ(outcome, kUpdateDone);
            EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "recovered"), 1);
            EXPECT_EQ(WithoutSideFiles(Installed()), oldSet);
            EXPECT_EQ(Installed().count("~vup-journal.txt"), 0u);
            EXPECT_EQ(model.notedCommit, "");
            EXPECT_EQ(WithoutSideFiles(Installed(kOther)).at("vorlin.exe"), "new game");
        } else {
            EXPECT_EQ(outcome, kUpdateStopped);
            EXPECT_EQ(run.failure, kFailJournalUnreadable);
            EXPECT_STREQ(run.failedFile, "C:\\Games\\Hoshi\\~vup-journal.txt");
            EXPECT_EQ(Installed(kOther).at("vorlin.exe"), "old game") << "nothing done here";
            EXPECT_EQ(model.notedCommit, kInstall) << "the note stays with its journal";
        }
    }
}

// A fault in the commit is undone in the same process; a second fault in that undo (an error at
// each of its next operations) may leave the journal, but recovery alone then gives back the old
// game exactly, and the next update installs the new one.
TEST_F(ModelUpdate, SecondFaultInTheUndoStillEndsWhole) {
    const CleanUpdate clean = MeasureCleanUpdate();
    const std::map<std::string, std::string>& oldSet = clean.oldSet;
    const std::map<std::string, std::string>& newSet = clean.newSet;
    const uint32_t operations = clean.operations;
    int undone = 0, runs = 0, notRestored = 0;
    for (uint32_t n = 1; n <= operations; n++) {
        StartOver();
        model.failures[model.operations + n] = kFsOther;
        UpdateRun run;
        if (Run(&run) != kUpdateStopped || run.game != kGameRestored) continue;  // no undo
        undone++;
        for (uint32_t m = 1; m <= 30; m++) {
            SCOPED_TRACE("an error at operation " + std::to_string(n) + ", then at " +
                         std::to_string(n + m) + " in the undo");
            StartOver();
            model.failures[model.operations + n] = kFsOther;
            model.failures[model.operations + n + m] = kFsOther;
            UpdateRun faulted;
            EXPECT_EQ(Run(&faulted), kUpdateStopped);
            runs++;
            notRestored += faulted.game == kGameNotRestored;
            EXPECT_NE(RecoverAlone(), kInterruptedUpdateNotUndone);
            EXPECT_TRUE(WithoutSideFiles(Installed()) == oldSet) << "after recovery alone";
            EXPECT_EQ(Run(), kUpdateDone);
            EXPECT_TRUE(Installed() == newSet) << "after the next update";
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(undone, 5);
    printf("[ undo     ] %d commits undone x 30 second errors: %d runs, %d left not restored\n",
           undone, runs, notRestored);
}

TEST_F(ModelUpdate, SecondFaultInTheRecoveryStillEndsWhole) {
    const CleanUpdate clean = MeasureCleanUpdate();
    const std::map<std::string, std::string>& newSet = clean.newSet;
    const uint32_t operations = clean.operations;
    enum SecondFault { kError, kKill, kPowerCut };
    int interrupted = 0, runs = 0;
    for (uint32_t n = 1; n <= operations; n++) {
        // Is the game left in the middle of a commit when killed at operation n?
        StartOver();
        model.crashAt = model.operations + n;
        Run();
        std::map<std::string, std::string> after = Installed();
        if (after.count("~vup-journal.txt") == 0 || after.count("~vup-commit.txt") != 0) continue;
        // Every third interrupted commit: the recovery's steps are the same kind for each file,
        // and the loop stays within a sanitizer run's time.
        if (interrupted++ % 3 != 0) continue;
        for (SecondFault second : {kError, kKill, kPowerCut}) {
            for (uint32_t m = 1; m <= 40; m++) {
                SCOPED_TRACE("killed at operation " + std::to_string(n) + ", then fault " +
                             std::to_string(second) + " at operation " + std::to_string(m) +
                             " of the recovery");
                StartOver();
                model.crashAt = model.operations + n;
                Run();
                uint32_t at = model.operations + m;
                if (second == kError) {
                    model.failures[at] = kFsOther;
                } else {
                    model.crashAt = at;
                }
                Run();
                if (second == kPowerCut) ModelPowerCut(&model, 0);
                runs++;
                EXPECT_EQ(Run(), kUpdateDone);
                EXPECT_EQ(Installed(), newSet) << "after the third update";
                if (HasFailure()) return;
            }
        }
    }
    EXPECT_GT(interrupted, 10);
    printf("[ second   ] %d of %d interrupted commits x 3 second faults x 40 operations: %d runs\n",
           (interrupted + 2) / 3, interrupted, runs);
}

}  // namespace
