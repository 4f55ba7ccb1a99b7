// Running a media tool as a process, as a publisher runs it: its arguments in UTF-8, its
// standard output and error read back together. The Windows build of a test runs the Windows
// build of the tool under Wine, through the command interpreter.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

struct RunResult {
    int status;          // the exit status; -1 when the tool could not be run
    std::string output;  // stdout and stderr together
};

// A path of the build machine as the programs under test take it: as it is on POSIX systems;
// under Wine through drive Z:, with backslashes.
std::string HostPath(std::string path);

// The scratch folder of the running test: the temporary folder, `prefix`, the test's name and this
// process's number, so that the same tests run at the same time from another build tree on the
// same machine never share it. Ends without a separator.
std::string TestScratchDir(const std::string& prefix);

// Everything left in `stream`, read to its end (the stream stays open).
std::string ReadToEnd(FILE* stream);

// Runs `program` (a path from the build, e.g. VORLIN_ARC_TOOL) with `args`, each passed as one
// argument whatever it holds but a double quote.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// One run of a tool and what it must give: its exit status and a text somewhere in its output.
struct ToolCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* text;
};

// Runs `program` once for each case and checks both (GoogleTest expectations).
void ExpectToolCases(const std::string& program, const std::vector<ToolCase>& cases);
