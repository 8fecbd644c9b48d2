// Answers person-facing prompts in tests and records what was asked.
#pragma once

#include "platform/user_prompts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace VelmorTest {

struct RecordedPrompt {
    enum Kind { messageBox, saveFile, beep, flash, popupMenu } kind;
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    UINT type = 0;
};

// Installed for its lifetime; message boxes are answered from a queue of
// button ids (IDOK when the queue is empty), save dialogs from a queue of
// paths (cancelled when empty).
class PromptRecorder : public Velmor::PromptResponder {
public:
    PromptRecorder() { Velmor::setPromptResponder(this); }
    ~PromptRecorder() override { Velmor::setPromptResponder(nullptr); }
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    void queueAnswer(int button) { answers_.push_back(button); }
    void queueMenuChoice(int command) { menuChoices_.push_back(command); }
    void queueSavePath(std::optional<std::wstring> path) { savePaths_.push_back(std::move(path)); }

    const std::vector<RecordedPrompt>& prompts() const { return prompts_; }
    std::size_t count(RecordedPrompt::Kind kind) const
    {
        std::size_t n = 0;
        for (const RecordedPrompt& prompt : prompts_) n += prompt.kind == kind ? 1 : 0;
        return n;
    }

    int answerMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type) override
    {
        prompts_.push_back({RecordedPrompt::messageBox, owner, std::wstring(text), std::wstring(caption), type});
        if (answers_.empty()) return IDOK;
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::optional<std::wstring> answerSaveFile(const Velmor::SaveFileRequest& request) override
    {
        prompts_.push_back({RecordedPrompt::saveFile, request.owner, request.initialName, request.defaultExtension, 0});
        lastSaveRequest = request;
        if (savePaths_.empty()) return std::nullopt;
        std::optional<std::wstring> path = savePaths_.front();
        savePaths_.pop_front();
        return path;
    }

    void notifyBeep(UINT type) override { prompts_.push_back({RecordedPrompt::beep, nullptr, {}, {}, type}); }
    void notifyFlash(HWND window) override { prompts_.push_back({RecordedPrompt::flash, window, {}, {}, 0}); }

    // Records the menu's items as "id:text" lines ("-" for a separator,
    // "(grey)" after a disabled item) and answers from the queue (0 when empty).
    int answerPopupMenu(HWND owner, HMENU menu) override
    {
        std::wstring items;
        const int count = ::GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
            ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            if (info.fType & MFT_SEPARATOR) {
                items += L"-\n";
                continue;
            }
            wchar_t text[512] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
            items += std::to_wstring(info.wID) + L":" + text + ((info.fState & MFS_DISABLED) ? L"(grey)" : L"") + L"\n";
        }
        prompts_.push_back({RecordedPrompt::popupMenu, owner, items, {}, 0});
        if (menuChoices_.empty()) return 0;
        const int choice = menuChoices_.front();
        menuChoices_.pop_front();
        return choice;
    }

    Velmor::SaveFileRequest lastSaveRequest;

private:
    std::deque<int> answers_;
    std::deque<int> menuChoices_;
    std::deque<std::optional<std::wstring>> savePaths_;
    std::vector<RecordedPrompt> prompts_;
};

}  // namespace VelmorTest
