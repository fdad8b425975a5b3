// The serial list and its record as two regular files, the record LIST.taken beside the list.
// A change of the record holds its flock(2) lock, which also excludes the other threads of this
// process, and appends one whole line with one write, made durable with fsync before velnor goes
// on: several velnor processes on one station can share the files, and a crash leaves at most a
// torn last line. Both files are read in one pass whatever their length (no size limit).
#ifndef VELNOR_CLI_SERIALS_FILESTORE_H
#define VELNOR_CLI_SERIALS_FILESTORE_H

#include <string>

#include "serials/SerialStore.h"

namespace velnorcli {

class FileStore : public SerialStore {
public:
    FileStore(std::string listPath, std::string recordPath)
        : listPath_(std::move(listPath)), recordPath_(std::move(recordPath)) {}

    Done Check() const override;
    Result<std::vector<std::string>> Serials() const override;
    Done Read(const EventSink& each) const override;
    Done Change(const LedgerWait& wait, const EventSink* read,
                const std::function<Result<std::vector<SerialEvent>>()>& next) override;

private:
    std::string listPath_;
    std::string recordPath_;
};

}  // namespace velnorcli

#endif
