// What a user who is watching sees while a call that cannot report back (the engine's
// compaction) keeps the calling thread: that the program is still at work.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>

namespace Components {

class Progress {
  public:
    virtual ~Progress() = default;

    // Shows `text` (one line) from now until Hide, kept alive by a thread of its own, since
    // the caller's thread is about to block. Where no one can be watching (no terminal) it
    // shows nothing. Never raises: the work it describes must not fail for want of a display.
    virtual void Show(std::string text) = 0;

    // Takes the display away wholly before it returns, so that whatever is shown next (a
    // box, a line of text) never meets it; nothing happens when nothing is shown.
    virtual void Hide() = 0;
};

std::unique_ptr<Progress> CreatePlatformInstance(Tag<Progress>);

// The progress shown for as long as it lives, when `shown`.
class ProgressShown {
  public:
    ProgressShown(bool shown, std::string text) : shown_(shown) {
        if (shown_) The<Progress>().Show(std::move(text));
    }
    ~ProgressShown() {
        if (shown_) The<Progress>().Hide();
    }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

  private:
    bool shown_;
};

}  // namespace Components
