// The commit journal of an update: written into the install folder, and flushed, before the first
// installed file is touched; removed once every new file is in place. An update that finds one
// was stopped in the middle of its commit, and undoes that commit (update_commit.h).
//
// Layout: text lines ended by LF (CR LF is read too):
//
//   VORLIN-JOURNAL 2
//   RUN <run>           the update that wrote it: 8 hex digits, not all 0
//   FOLDER <install>    the install folder it belongs to, as the update named it
//   D <folder>          a folder the update made (none, one or more, before the files)
//   R <name>            a file the update replaces
//   A <name>            a file the update adds (no file of that name existed)
//   ...
//   END <digest>
//
//   folder, name   relative to the install folder, code page 932, folders separated by
//                  backslashes ("VORLIN.EXE", "help\index.htm"), 1 to 259 bytes, no byte below
//                  0x20, no "/" or ":", no empty, "." or ".." part, not starting or ending with a
//                  backslash
//   digest         16 lower-case hexadecimal digits: the XXH3 64-bit digest of every line before
//                  END, each taken without its line end and followed by one LF byte
//
// The n-th file line (counted from 0 over R and A lines) names the update's own files beside
// `name`, in the same folder: the new file's draft "~vup" + 8 hex digits of the run + 8 hex digits
// of n + ".new", and, for R, the old file's backup, the same with ".old" (JournalSideNameOfRun).
// Each update has a run of its own, so a side file another update left (one a program held, that
// could not be removed) never has the name of one of this update's: it is never taken for one.
//
// Journals of earlier launchers are read too: "VORLIN-JOURNAL 1", without the RUN and FOLDER
// lines; their side files are "~vup" + 8 hex digits of n + ".new" or ".old" (run 0).
//
// A journal that is cut short or changed does not parse: it was being written when the update
// stopped, so no installed file had been touched yet. Portable (no platform calls).
#pragma once
#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
    kJournalMaxNameBytes = 259,
    kJournalMaxEntries = 1000000,
};

struct JournalEntry {
    char name[kJournalMaxNameBytes + 1];
    char kind;  // 'D' folder made, 'R' file replaced, 'A' file added
};

// The journal's text for `entries` (folders first, in the order given) in a new heap block
// (release with free); null when an entry is not valid or memory is exhausted.
char* WriteJournal(const JournalEntry* entries, uint32_t count, size_t* length);
// Parses a whole journal. True with *entries a new array (release with free; null when there are
// none) in file order; false, with *entries null and *count 0, when the text is not a complete
// journal. Never reads outside bytes[0..size).
bool ParseJournal(const uint8_t* bytes, size_t size, JournalEntry** entries, uint32_t* count);
// The same, with the run and the install folder the journal names (run 0 and "" for a journal of
// the first format).
struct JournalRun {
    uint32_t runId;
    char folder[kJournalMaxNameBytes + 1];
};
bool ParseJournalOfRun(const uint8_t* bytes, size_t size, JournalEntry** entries, uint32_t* count,
                       JournalRun* run);
// The journal's text of run `runId` (not 0) for the install folder `folder`; WriteJournal writes
// the first format (run 0).
char* WriteJournalOfRun(const JournalEntry* entries, uint32_t count, uint32_t runId,
                        const char* folder, size_t* length);
// Whether `name` may stand in a journal (as above).
bool IsValidJournalName(const char* name);
// `out` (kJournalMaxNameBytes + 1 bytes) receives the name of file line `index`'s draft (".new")
// or backup (".old") beside `name`: its folder part, then "~vup%08x" and `extension`. False when
// that does not fit. Folder separators are found as code page 932 text (a trail byte may be 0x5C).
bool JournalSideName(const char* name, uint32_t index, const char* extension, char* out);
// The same for run `runId` (0: the first format's names).
bool JournalSideNameOfRun(const char* name, uint32_t runId, uint32_t index, const char* extension,
                          char* out);
// Whether `name` (no folder part) is one of the update's own side files: "~vup" + 16 hex digits
// (a run's) or 8 (the first format's) + ".new" or ".old", or "~vup" + 4 hex digits + ".tmp" (left
// by earlier launchers), in any case.
bool IsUpdateSideFileName(const char* name);
// The journal's own name in the install folder.
extern const char kJournalName[];
