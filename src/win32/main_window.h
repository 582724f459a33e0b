// The main window `frmmain` on the Win32 API: the controls, and the view the window model
// drives. Events go to the model; the model says what to show.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "window/main_model.h"

namespace kerfo::win32 {

class MainWindow final : public window::MainView {
public:
    // Creates the window hidden, in its design-time look. `services.exit` is told when the
    // program must end; the caller's message loop then stops.
    MainWindow(HINSTANCE instance, const window::MainServices& services);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND handle() const { return m_hwnd; }
    window::MainModel& model() { return *m_model; }

    // --- window::MainView ---
    void setCaption(std::string_view caption) override;
    void setEnabled(window::Control control, bool enabled) override;
    void setDefaultButton(window::Control button) override;
    void setFocus(window::Control control) override;
    void selectFocusedText() override;
    std::string password(window::Control box) const override;
    void clearPassword(window::Control box) override;
    void setPasswordLimit(int characters) override;
    void setCancelText(std::string_view text) override;
    void setLabelFocused(window::Control label, bool focused) override;
    void setCheckTip(std::string_view tip) override;
    int checkState() const override;
    void setBusy(bool busy) override;
    void repaintNow() override;
    void showProgress(const std::optional<window::ProgressView>& progress) override;
    void showFiles(const std::vector<std::string>& names) override;
    void showAbout() override;
    void closeWindow() override;
    settings::PositionTarget& position() override;
    settings::CheckTarget& autoQuitBox() override;
    window::Frame frame() const override;
    std::vector<window::Rect> screens() const override;
    void moveFrame(window::Point corner) override;
    void remindAfter(std::chrono::milliseconds delay) override;

private:
    class Position;
    class CheckBox;

    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK checkBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    HWND control(window::Control which) const;

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_tips = nullptr;
    HWND m_controls[9] = {};
    // The names of several files under their label; hidden for one.
    HWND m_filesLabel = nullptr;
    HWND m_files = nullptr;
    // Hidden until a job has run long enough to show how far it has come.
    HWND m_progress = nullptr;
    HICON m_closedIcon = nullptr;
    HICON m_openIcon = nullptr;
    HFONT m_font = nullptr;
    bool m_busy = false;
    bool m_labelFocused[2] = {false, false};
    std::wstring m_checkTip;
    std::unique_ptr<Position> m_position;
    std::unique_ptr<CheckBox> m_checkBox;
    std::unique_ptr<window::MainModel> m_model;
};

}  // namespace kerfo::win32
