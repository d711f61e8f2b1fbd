#pragma once
// tessary-info.exe started as Windows starts programs, for the tests of the Windows build: the
// arguments quoted for CommandLineToArgvW, its output and errors kept in files.
#include "tests/support/CabinetBuilder.h"
#include "win/TextWin.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

struct TToolRun {
    DWORD Exit = 255;
    std::string Out; // the line ends as the program wrote them: "\r\n" in text mode
    std::string Err;
};

inline HANDLE InheritedFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Starts tessary-info.exe with the arguments, its output and errors in files; one that has not
// ended after the time is ended: exit 124.
inline TToolRun RunTool(const std::vector<std::wstring>& arguments, DWORD seconds = 120) {
    TempDir capture;
    const std::string outPath = capture.File("out"), errPath = capture.File("err");
    const std::wstring tool = FromLocalPath(TESSARY_INFO_EXE);
    std::wstring commandLine = QuoteArgument(tool);
    for (const std::wstring& argument : arguments)
        commandLine += L" " + QuoteArgument(argument);
    TToolRun run;
    const HANDLE out = InheritedFile(FromLocalPath(outPath));
    const HANDLE err = InheritedFile(FromLocalPath(errPath));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return run;
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &run.Exit);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.Out = ReadText(outPath);
    run.Err = ReadText(errPath);
    return run;
}

inline std::wstring W(const std::string& desktopPath) {
    return FromLocalPath(desktopPath);
}

inline std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}
