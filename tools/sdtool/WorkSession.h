// WorkSession.h: what sdtool sets up around a load: a private work directory
// and a recorder of the message boxes the load would show.
#pragma once

#include <string>
#include <vector>

#include "platform/Dialogs.h"

// A fresh work directory of this process's own, used instead of the shared
// one while the object lives; emptied and removed when it goes.
class PrivateWorkDir {
public:
    PrivateWorkDir();  // std::runtime_error when no directory can be made
    ~PrivateWorkDir();
    PrivateWorkDir(const PrivateWorkDir&) = delete;
    PrivateWorkDir& operator=(const PrivateWorkDir&) = delete;

    const std::string& path() const { return dir_; }
    // Deletes the files unpacked so far.
    void empty();

private:
    std::string dir_;
};

// Collects ShowMessage texts instead of showing them, while it lives.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    const std::vector<std::string>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    std::vector<std::string> messages_;
    ShowMessageHandler previous_;
};
