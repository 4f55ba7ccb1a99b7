// The findings of `check`, printed as a compiler prints them: "WHERE: error: message", where
// WHERE is a file of the media, with ":LINE" when a line of it is meant. Errors are what makes the
// launcher refuse, stop or fail; warnings are allowed but likely a mistake; notes are usual, said
// so that nothing passes in silence. With --strict every warning counts as an error.
#pragma once

#include <string>

struct Report {
    bool strict;  // --strict: warnings are errors
    int errors;
    int warnings;
    int notes;
};

enum FindingKind { kFindingError, kFindingWarning, kFindingNote };

void Say(Report* report, FindingKind kind, const std::string& where, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// "vorlin.env:12"
std::string AtLine(const std::string& file, unsigned line);
