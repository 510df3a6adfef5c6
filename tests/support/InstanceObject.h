#pragma once

#include <windows.h>
#include <sddl.h>

#include <initializer_list>

// The program's instance semaphore, held by a test as a running copy holds
// it; a locked one no one may open, as a standard user's programs find one
// that a copy with an administrator's rights made.
class InstanceObject {
public:
    InstanceObject(const wchar_t* name, bool locked)
    {
        if (!locked) {
            handle_ = CreateSemaphoreW(nullptr, 1, 1, name);
            return;
        }
        // Wine lets an object's owner wait on it whatever its DACL says, so
        // the owner is one the test is not; Windows refuses that owner to a
        // process without the restore privilege, and there an empty DACL
        // alone keeps everyone out.
        for (const wchar_t* locks : {L"O:SYD:", L"D:"}) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(locks, SDDL_REVISION_1, &descriptor, nullptr))
                continue;
            SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
            handle_ = CreateSemaphoreW(&attributes, 1, 1, name);
            LocalFree(descriptor);
            if (handle_)
                return;
        }
    }
    ~InstanceObject() { Close(); }
    InstanceObject(const InstanceObject&) = delete;
    InstanceObject& operator=(const InstanceObject&) = delete;

    bool Made() const { return handle_ != nullptr; }
    void Close()
    {
        if (handle_)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};
