#include "platform/FileSystem.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <vector>

namespace VeltorPlatform {

namespace {

// Releases a COM interface on every way out.
template <typename Interface> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (pointer != nullptr)
            pointer->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface** out() { return &pointer; }
    Interface* operator->() const { return pointer; }

private:
    Interface* pointer = nullptr;
};

// Uninitialises COM when this thread's initialisation succeeded.
class ComScope {
public:
    ComScope() : result(::CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(result))
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result;
};

std::uint32_t errorOf(HRESULT result) {
    return HRESULT_FACILITY(result) == FACILITY_WIN32 ? static_cast<std::uint32_t>(HRESULT_CODE(result))
                                                      : FileSystemError::AccessDenied;
}

} // namespace

std::uint32_t readShortcutTarget(const std::string& path, std::string& target) {
    target.clear();
    ComScope com;
    ComRef<IShellLinkA> link;
    HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                        reinterpret_cast<void**>(link.out()));
    if (FAILED(result))
        return errorOf(result);
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()))))
        return FileSystemError::Success;
    int size = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return FileSystemError::Success;
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
    if (FAILED(file->Load(wide.data(), STGM_READ)))
        return FileSystemError::Success;
    char buffer[MAX_PATH + 1] = {};
    if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)))
        target = buffer;
    return FileSystemError::Success;
}

} // namespace VeltorPlatform
