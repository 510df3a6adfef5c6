#pragma once

#include "usb/VolumeControl.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Stands in for the volume control codes, log-off and the removal dialog
// while it lives, so that no test unmounts the host's file system (Wine's
// answer to a dismount request) or ends the session.
class FakeVolumeControl : public VolumeControl {
public:
    FakeVolumeControl() { SetVolumeControl(this); }
    ~FakeVolumeControl() override { SetVolumeControl(nullptr); }

    // The storage query answers with the bus type of its letter; any other
    // letter behaves as a volume that does not open.
    std::map<char, DWORD> busTypes;
    std::vector<char> queried;
    std::vector<DWORD> sizeFields, sizes;
    // Every other call, in order: "lock", "dismount", "allow removal",
    // "eject", "log off", "dialog " + command line; each succeeds unless
    // `answer` says otherwise.
    std::vector<std::string> calls;
    std::function<bool(const std::string& call)> answer = [](const std::string&) { return true; };

    bool QueryDeviceDescriptor(char letter, BYTE* descriptor, DWORD size) override
    {
        queried.push_back(letter);
        DWORD sizeField = 0;
        std::memcpy(&sizeField, descriptor + 4, sizeof sizeField);
        sizeFields.push_back(sizeField);
        sizes.push_back(size);
        auto found = busTypes.find(letter);
        if (found != busTypes.end())
            std::memcpy(descriptor + 28, &found->second, sizeof found->second);
        return found != busTypes.end();
    }
    bool LockVolume(HANDLE) override { return Call("lock"); }
    bool DismountVolume(HANDLE) override { return Call("dismount"); }
    bool AllowMediaRemoval(HANDLE) override { return Call("allow removal"); }
    bool EjectMedia(HANDLE) override { return Call("eject"); }
    bool LogOff() override { return Call("log off"); }
    bool StartRemovalDialog(const char* commandLine) override { return Call(std::string("dialog ") + commandLine); }

private:
    bool Call(const std::string& call)
    {
        calls.push_back(call);
        return answer(call);
    }
};
