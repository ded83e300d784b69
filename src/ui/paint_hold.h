// Holds back a window's repaints while an exchange on the line is under way, so
// the several changes of one poll cycle (the status line alone changes six times)
// reach the screen as one paint of the cycle's end state.
//
// Only painting waits: every control takes its new text, colour or state at once,
// and whoever reads a control sees it. Qt paints a window when the update request
// it posted to itself arrives; while `holding` says so, that request is kept back
// and posted again once Recheck() finds the hold over. Input to the window, or a
// hold longer than the limit, paints at once, so typing and clicking never lag
// behind a slow line.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "engine/timer.h"

class QWidget;

namespace tally {

class PaintHold : public QObject {
    Q_OBJECT
  public:
    static constexpr int kLimitMs = 250;

    // `limit` (made with an interval of kLimitMs) runs only while something is held.
    PaintHold(QWidget* window, std::function<bool()> holding, std::unique_ptr<Timer> limit);
    ~PaintHold() override;

    // The reason to hold may have ended: looked at once the current handler is
    // done (the engine writes a cycle's next request after telling of a reply).
    void Recheck();
    // Paints what is held now, hold or not.
    void Release();
    bool Held() const { return held_; }
    // Update requests that reached the window (each one paints what changed).
    int Paints() const { return paints_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void check();

    QWidget* window_;
    std::function<bool()> holding_;
    bool held_ = false;
    bool checkPosted_ = false;
    bool releasing_ = false;
    int paints_ = 0;
    // Started at the first request held; a hold never outlasts the limit.
    std::unique_ptr<Timer> limit_;
};

}  // namespace tally
