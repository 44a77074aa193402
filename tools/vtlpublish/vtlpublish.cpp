// vtlpublish "2008::<folder>::<name>[::<name>...]"
// Stands in for the publishing application that the menu entry starts. It decodes its one
// argument into the selection's folder and file names and prints them, one per line. When the
// environment variable VTL_PUBLISH_RECORD names a file, it first appends to that file, in
// UTF-16, exactly what it was started with, so that a test can compare it unit for unit:
//   image=<its own file>  process=<its process id>  command=<raw command line>
//   directory=<current directory>, one per line, then an empty line.
// A malformed argument gets a message on stderr and exit code 2.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kPrefix[] = L"2008::";
const wchar_t kSeparator[] = L"::";

void AppendRecord()
{
    wchar_t recordPath[MAX_PATH * 4];
    DWORD length = GetEnvironmentVariableW(L"VTL_PUBLISH_RECORD", recordPath, ARRAYSIZE(recordPath));
    if (length == 0 || length >= ARRAYSIZE(recordPath)) {
        return;
    }
    wchar_t image[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, image, ARRAYSIZE(image));
    wchar_t directory[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);

    std::wstring record = std::wstring(L"image=") + image + L"\r\n" +
                          L"process=" + std::to_wstring(GetCurrentProcessId()) + L"\r\n" +
                          L"command=" + GetCommandLineW() + L"\r\n" +
                          L"directory=" + directory + L"\r\n\r\n";
    HANDLE file = CreateFileW(recordPath, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vtlpublish: cannot open the record file (error %lu)\n", GetLastError());
        return;
    }
    // One write, so that a reader never sees half a record.
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

// The selection argument: the quoted text that begins with the prefix (the application path
// before it may hold blanks and stand unquoted), or else the one argument there is.
bool FindArgument(const std::wstring& commandLine, std::wstring& argument)
{
    size_t open = commandLine.find(std::wstring(L"\"") + kPrefix);
    if (open != std::wstring::npos) {
        size_t close = commandLine.find(L'"', open + 1);
        if (close == std::wstring::npos) {
            return false;
        }
        argument = commandLine.substr(open + 1, close - open - 1);
        return commandLine.find_first_not_of(L" \t", close + 1) == std::wstring::npos;
    }
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    if (!arguments) {
        return false;
    }
    bool one = count == 2;
    if (one) {
        argument = arguments[1];
    }
    LocalFree(arguments);
    return one;
}

bool Decode(const std::wstring& argument, std::wstring& folder, std::vector<std::wstring>& names)
{
    if (argument.compare(0, ARRAYSIZE(kPrefix) - 1, kPrefix) != 0) {
        return false;
    }
    std::vector<std::wstring> pieces;
    size_t start = ARRAYSIZE(kPrefix) - 1;
    for (;;) {
        size_t separator = argument.find(kSeparator, start);
        pieces.push_back(argument.substr(start, separator - start));
        if (separator == std::wstring::npos) {
            break;
        }
        start = separator + 2;
    }
    if (pieces.size() < 2 || pieces[0].empty() || pieces[0].back() != L'\\') {
        return false;
    }
    folder = pieces[0];
    names.assign(pieces.begin() + 1, pieces.end());
    for (const std::wstring& name : names) {
        if (name.empty()) {
            return false;
        }
    }
    return true;
}

void PrintLine(const std::wstring& text)
{
    std::wstring line = text + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

}  // namespace

int wmain()
{
    AppendRecord();

    std::wstring commandLine = GetCommandLineW();
    std::wstring argument;
    std::wstring folder;
    std::vector<std::wstring> names;
    if (!FindArgument(commandLine, argument) || !Decode(argument, folder, names)) {
        std::fprintf(stderr,
                     "vtlpublish: expected one argument \"2008::<folder>\\::<name>[::<name>...]\","
                     " got: %ls\n",
                     commandLine.c_str());
        return 2;
    }
    PrintLine(folder);
    for (const std::wstring& name : names) {
        PrintLine(name);
    }
    return 0;
}
