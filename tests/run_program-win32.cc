#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"

// The programs are built beside the tests. The build folder's path as CMake knows
// it is not used: when the tests were cross-built it is a path of the build machine.
std::string program_path(const std::string& name) {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) throw std::runtime_error("GetModuleFileName failed");
    std::string dir(self, length);
    dir.erase(dir.find_last_of("\\/") + 1);
    return dir + name + ".exe";
}

// The tests and the programs run alike, natively or both under Wine.
std::vector<std::string> program_command(const std::string& name) { return {program_path(name)}; }

bool programs_emulated() { return false; }

namespace {

void close_handle(HANDLE& h) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
}

// The end that the child gets is inherited; the end kept here is not, so that the
// child's end is closed for good once the child has ended.
void make_pipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
    if (!SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0)) {
        throw std::runtime_error("SetHandleInformation failed");
    }
}

// Up to limit bytes, or everything until every writer has closed the pipe.
std::string read_all(HANDLE from, std::size_t limit) {
    std::string text;
    char buffer[65536];
    while (text.size() < limit) {
        const std::size_t room = std::min(sizeof buffer, limit - text.size());
        DWORD got = 0;
        if (!ReadFile(from, buffer, static_cast<DWORD>(room), &got, nullptr) || got == 0) break;
        text.append(buffer, got);
    }
    return text;
}

// Stops early when the reader has gone: a program need not read all its input.
void write_all(HANDLE to, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const std::size_t chunk = std::min<std::size_t>(data.size() - sent, 65536);
        DWORD put = 0;
        if (!WriteFile(to, data.data() + sent, static_cast<DWORD>(chunk), &put, nullptr)) return;
        sent += put;
    }
}

// The programs write text: each "\n" reaches a pipe as CR LF.
std::string with_line_feeds(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
    }
    return plain;
}

}  // namespace

run_result run_program(const std::string& name, const std::string& input, const run_options& options) {
    run_result result;
    // Windows has no device on which every write fails (NUL takes everything). Wine
    // shows the host's /dev/full as Z:\dev\full, and it is taken where it is found,
    // so that a write that fails for lack of space is tried there too.
    HANDLE full_device = nullptr;
    if (options.stdout_to == output_sink::full_device) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        full_device = CreateFileA("Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr);
        if (full_device == INVALID_HANDLE_VALUE) {
            result.unsupported = true;
            return result;
        }
    }
    const std::string path = program_path(name);
    HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
    HANDLE err_read = nullptr, err_write = nullptr;
    make_pipe(in_read, in_write, true);
    make_pipe(out_read, out_write, false);
    make_pipe(err_read, err_write, false);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.close_stdin ? INVALID_HANDLE_VALUE : in_read;
    startup.hStdOutput = options.stdout_to == output_sink::closed        ? INVALID_HANDLE_VALUE
                         : options.stdout_to == output_sink::full_device ? full_device
                                                                         : out_write;
    startup.hStdError = err_write;
    std::string command_line = "\"" + path + "\"";
    PROCESS_INFORMATION process{};
    // A process without a console: its key wait finds none and returns at once.
    const BOOL started = CreateProcessA(path.c_str(), command_line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                        nullptr, nullptr, &startup, &process);
    close_handle(in_read);
    close_handle(out_write);
    close_handle(err_write);
    close_handle(full_device);
    if (!started) {
        close_handle(in_write);
        close_handle(out_read);
        close_handle(err_read);
        throw std::runtime_error("CreateProcess failed for " + path);
    }
    CloseHandle(process.hThread);

    std::string out, err;
    std::thread feeder, out_reader;
    if (options.stdout_to == output_sink::reader_stops_after_5_bytes) {
        // The input goes only after the reader has gone, so that the program's first
        // write after its first read meets the broken pipe.
        out_reader = std::thread([&] {
            out = read_all(out_read, 5);
            close_handle(out_read);
            write_all(in_write, input);
            close_handle(in_write);
        });
    } else {
        feeder = std::thread([&] {
            write_all(in_write, input);
            close_handle(in_write);
        });
        out_reader = std::thread([&] { out = read_all(out_read, std::string::npos); });
    }
    std::thread err_reader([&] { err = read_all(err_read, std::string::npos); });

    const double ms = options.timeout_seconds * 1000;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(ms)) == WAIT_TIMEOUT) {
        result.timed_out = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    // The child's ends are closed now: every reader meets the end of its pipe, and
    // a feeder still writing meets a pipe without a reader.
    if (feeder.joinable()) feeder.join();
    out_reader.join();
    err_reader.join();
    close_handle(in_write);
    close_handle(out_read);
    close_handle(err_read);

    DWORD code = 0;
    if (!result.timed_out && GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
    CloseHandle(process.hProcess);
    result.out = with_line_feeds(out);
    result.err = with_line_feeds(err);
    return result;
}
