#include "publisher.h"

#include <iostream>

#include "built_files.h"

namespace {

// Makes the folders of a path that ends in a backslash; returns those it made, outermost first.
std::vector<std::wstring> MakeMissingFolders(const std::wstring& folder)
{
    std::vector<std::wstring> made;
    for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos; end = folder.find(L'\\', end + 1)) {
        std::wstring part = folder.substr(0, end);
        if (CreateDirectoryW(part.c_str(), nullptr)) {
            made.push_back(part);
        }
    }
    return made;
}

std::wstring ReadWholeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::wstring text;
    wchar_t buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read / sizeof(wchar_t));
    }
    CloseHandle(file);
    return text;
}

void WaitForExit(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

}  // namespace

PublisherInstallation::PublisherInstallation(std::wstring exePath) : exePath_(std::move(exePath))
{
    wchar_t temp[MAX_PATH];
    std::wstring records = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"vtlMenuTests\\";
    CreateDirectoryW(records.c_str(), nullptr);
    recordFile_ = records + L"publish-record-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(recordFile_.c_str());
    SetEnvironmentVariableW(L"VTL_PUBLISH_RECORD", recordFile_.c_str());

    if (!exePath_.empty()) {
        std::wstring folder = exePath_.substr(0, exePath_.find_last_of(L'\\') + 1);
        madeFolders_ = MakeMissingFolders(folder);
        std::wstring built = ProgramFolder() + L"vtlpublish.exe";
        if (!CopyFileW(built.c_str(), exePath_.c_str(), FALSE)) {
            std::wcerr << L"cannot copy " << built << L" to " << exePath_ << L": " << GetLastError() << L"\n";
            return;
        }
    }
    ready_ = exePath_.empty() || SetExePath(exePath_);
}

PublisherInstallation::~PublisherInstallation()
{
    SetEnvironmentVariableW(L"VTL_PUBLISH_RECORD", nullptr);
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
            RegDeleteTreeW(software, L"CorvalineVTL");  // kPublisherVendorKey in that view
            RegCloseKey(software);
        }
    }
    DeleteFileW(recordFile_.c_str());
    if (!exePath_.empty()) {
        DeleteFileW(exePath_.c_str());
        for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder) {
            RemoveDirectoryW(folder->c_str());
        }
    }
}

bool PublisherInstallation::SetExePath(const std::wstring& value, REGSAM view)
{
    return SetExePathData(value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), REG_SZ, view);
}

bool PublisherInstallation::SetExePathData(const void* data, DWORD bytes, DWORD type, REGSAM view)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPublisherKeyPath, 0, nullptr, 0,
                                  KEY_SET_VALUE | view, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        std::cerr << "cannot create the publisher key: " << status << "\n";
        return false;
    }
    status = RegSetValueExW(key, L"ExePath", 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool PublisherInstallation::DeleteExePath(REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPublisherKeyPath, 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegDeleteValueW(key, L"ExePath");
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::vector<PublishRecord> PublisherInstallation::Records() const
{
    std::vector<PublishRecord> records;
    std::wstring text = ReadWholeFile(recordFile_);
    PublishRecord record;
    size_t start = 0;
    for (size_t end = text.find(L"\r\n"); end != std::wstring::npos;
         start = end + 2, end = text.find(L"\r\n", start)) {
        std::wstring line = text.substr(start, end - start);
        if (line.empty()) {
            records.push_back(record);
            record = PublishRecord();
        } else if (line.rfind(L"image=", 0) == 0) {
            record.image = line.substr(6);
        } else if (line.rfind(L"process=", 0) == 0) {
            record.process = std::stoul(line.substr(8));
        } else if (line.rfind(L"command=", 0) == 0) {
            record.command = line.substr(8);
        } else if (line.rfind(L"directory=", 0) == 0) {
            record.directory = line.substr(10);
        }
    }
    return records;
}

std::vector<PublishRecord> PublisherInstallation::WaitForRecords(size_t count) const
{
    std::vector<PublishRecord> records = Records();
    for (int round = 0; round < 1500 && records.size() < count; ++round) {
        Sleep(20);
        records = Records();
    }
    for (const PublishRecord& record : records) {
        WaitForExit(record.process);
    }
    return records;
}

int HandlesToProcess(DWORD processId)
{
    int found = 0;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (GetHandleInformation(handle, &flags) &&
            (GetProcessId(handle) == processId || GetProcessIdOfThread(handle) == processId)) {
            ++found;
        }
    }
    return found;
}
