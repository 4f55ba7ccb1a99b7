// Running a media tool as a process (see tool_runner.h).
#include "tests/tools/tool_runner.h"

#include <gtest/gtest.h>
#include <stdio.h>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

std::string HostPath(std::string path) {
#ifdef _WIN32
    // The root of the host's file system is drive Z: under Wine.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

#ifdef _WIN32
static std::wstring WideFromUtf8(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}
#endif

std::string TestScratchDir(const std::string& prefix) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
#ifdef _WIN32
    int process = _getpid();
#else
    int process = getpid();
#endif
    return ::testing::TempDir() + prefix + info->name() + "_" + std::to_string(process);
}

std::string ReadToEnd(FILE* stream) {
    std::string data;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, stream)) > 0) data.append(buffer, n);
    return data;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    std::string command = "\"" + HostPath(program) + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    command += " 2>&1";
    RunResult result = {-1, ""};
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd /c strips one pair of outer quotes
    FILE* pipe = _wpopen(WideFromUtf8(command).c_str(), L"r");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (!pipe) return result;
    result.output = ReadToEnd(pipe);
#ifdef _WIN32
    result.status = _pclose(pipe);
#else
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

void ExpectToolCases(const std::string& program, const std::vector<ToolCase>& cases) {
    for (const ToolCase& c : cases) {
        RunResult r = RunProgram(program, c.args);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
    }
}
