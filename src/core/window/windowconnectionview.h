#pragma once

#include "core/connection/connectionservice.h"
#include "core/program.h"
#include "core/window/windowport.h"
#include "core/window/windowstate.h"

namespace qv {

// A query window as its login sees it: the caption, status-bar panel 1, the login and logout
// menu items, and the window's dialogs.
class WindowConnectionView final : public ConnectionView {
  public:
    WindowConnectionView(WindowState& state, WindowPort& port) : state_(state), port_(port) {}

    bool runLoginDialog(LoginValues& values) override { return port_.runLoginDialog(values); }
    void showConnectionStatus(const QString& text) override { state_.setPanelText(1, text); }
    void setCaption(const QString& text) override { state_.setCaption(text); }
    void setConnected(bool connected) override {
        state_.setMenuEnabled(WindowState::Menu::Login, !connected);
        state_.setMenuEnabled(WindowState::Menu::Logout, connected);
    }
    void setConnecting() override {
        state_.setMenuEnabled(WindowState::Menu::Login, false);
        state_.setMenuEnabled(WindowState::Menu::Logout, false);
    }
    void repaintNow() override { port_.repaintNow(); }
    void showMessage(const QString& text) override { port_.showMessage(text, kAppTitle); }

  private:
    WindowState& state_;
    WindowPort& port_;
};

}  // namespace qv
