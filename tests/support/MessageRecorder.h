#pragma once

#include "framework/MessageBox.h"

#include <functional>
#include <mutex>
#include <vector>

// Answers every ShowMessage of the program while it lives, on any thread, and
// records the calls. The answer is fixed (IDOK by default) or chosen per call.
class MessageRecorder {
public:
    explicit MessageRecorder(int answer = IDOK)
    {
        SetAnswer(answer);
        SetMessageBoxHook([this](const MessageBoxCall& call) {
            std::function<int(const MessageBoxCall&)> respond;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                calls_.push_back(call);
                respond = answer_;
            }
            // Outside the lock: an answer may look at the recorder itself.
            return respond(call);
        });
    }
    ~MessageRecorder() { SetMessageBoxHook(nullptr); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void SetAnswer(int answer)
    {
        SetAnswer([answer](const MessageBoxCall&) { return answer; });
    }
    void SetAnswer(std::function<int(const MessageBoxCall&)> answer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = std::move(answer);
    }

    std::vector<MessageBoxCall> Calls() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }
    // The texts shown so far, in order.
    std::vector<std::wstring> Texts() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::wstring> texts;
        for (const MessageBoxCall& call : calls_)
            texts.push_back(call.text);
        return texts;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<MessageBoxCall> calls_;
    std::function<int(const MessageBoxCall&)> answer_;
};
