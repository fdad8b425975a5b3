// The live lines of a station run on a terminal's standard error: one per keypad (where it is,
// what it does, for how long), redrawn in place a few times a second, and wiped when the run
// ends so that the final report follows.
#ifndef VELNOR_CLI_PROGRESSDISPLAY_H
#define VELNOR_CLI_PROGRESSDISPLAY_H

#include <condition_variable>
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

class ProgressDisplay {
public:
    ProgressDisplay(const ProgressBoard& board, std::ostream& terminal);
    ~ProgressDisplay();  // draws no more and wipes the lines
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

private:
    void Draw();
    const ProgressBoard& board_;
    std::ostream& terminal_;
    std::size_t drawn_ = 0;  // lines on the screen; drawing thread only, then the destructor
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;  // guarded by mutex_
    std::thread drawer_;
};

}  // namespace velnorcli

#endif
