// The live lines of a run on a terminal's standard error (restore --all's keypads, a station's
// board), redrawn in place a few times a second by one thread. When the run ends they are wiped
// so that the final report follows, or left as last drawn with the cursor on a new line.
#ifndef VELNOR_CLI_PROGRESSDISPLAY_H
#define VELNOR_CLI_PROGRESSDISPLAY_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "lib/ProgressBoard.h"

namespace velnorcli {

// What the terminal is sent to replace the `drawn` lines above the cursor with `lines` (the
// cursor then below them), and to wipe them for good.
std::string RedrawText(std::size_t drawn, const std::vector<std::string>& lines);
std::string WipeText(std::size_t drawn);
// The line cut to `columns` characters (UTF-8 kept whole), so that none wraps and every redraw
// goes up as many lines as were drawn; 0: as it is.
std::string CutToWidth(const std::string& line, std::size_t columns);

class ProgressDisplay {
public:
    using Source = std::function<std::vector<std::string>(std::chrono::steady_clock::time_point)>;

    // `lines` is asked for the lines every `every`, and at once after Redraw; with `keep` the
    // last lines stay on the screen at the end.
    ProgressDisplay(Source lines, std::ostream& terminal, std::chrono::milliseconds every, bool keep);
    // restore --all: its board ten times a second, wiped at the end.
    ProgressDisplay(const ProgressBoard& board, std::ostream& terminal);
    ~ProgressDisplay();  // draws no more, then wipes the lines or draws them a last time
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Draw now rather than at the next tick (any thread).
    void Redraw();
    // A message (whole lines) shown above the live lines at the next drawing (any thread).
    void Print(const std::string& text);

private:
    void Draw(bool last);
    Source lines_;
    std::ostream& terminal_;
    const std::chrono::milliseconds every_;
    const bool keep_;
    std::size_t drawn_ = 0;  // lines on the screen; drawing thread only, then the destructor
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;      // guarded by mutex_
    bool soon_ = false;      // guarded by mutex_
    std::string printed_;    // guarded by mutex_
    std::thread drawer_;
};

}  // namespace velnorcli

#endif
