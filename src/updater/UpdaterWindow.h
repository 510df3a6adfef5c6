#pragma once

#include "framework/Dialog.h"
#include "updater/UpdateDescription.h"
#include "updater/UpdaterProgram.h"

#include <memory>
#include <string>
#include <vector>

// The updater's one window. It fetches the update description on a worker,
// says what it found (a newer version with its notes and "Обновить", the
// latest version installed, or what went wrong) and, on "Обновить",
// downloads the installer with a progress bar that "Отмена" stops. The run
// ends with the installer downloaded and checked, or with nothing to install.
class UpdaterWindow : public Dialog {
public:
    UpdaterWindow(std::vector<std::wstring> arguments, const char* publicKeyPem);
    ~UpdaterWindow() override;

    // After the run: the installer, whole and matching its description, or
    // null when there is nothing to install.
    std::unique_ptr<InstallerFile> TakeInstaller() { return std::move(installer_); }

protected:
    bool OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDpiChanged(int oldDpi) override;

private:
    enum class State { Checking, Latest, Offer, Downloading, Cancelling, Failed };
    struct Job;

    void StartCheck();
    void Checked();
    void StartDownload();
    void Downloaded();
    void ShowProgress(unsigned long long received);
    void Fail(UINT message, const std::wstring& argument = std::wstring());
    void ShowNotes(bool show);
    void SetState(State state, const std::wstring& status);

    std::vector<std::wstring> arguments_;
    const char* publicKeyPem_;
    UpdateRequest request_;
    UpdateDescription description_;
    std::wstring installerUrl_;
    State state_ = State::Checking;
    bool notesShown_ = true;
    int notesHeight_ = 0;
    // Shared with the worker of the moment, which may outlive the window.
    std::shared_ptr<Job> job_;
    std::unique_ptr<InstallerFile> installer_;
    HICON icon_ = nullptr;
};
