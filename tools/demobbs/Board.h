#pragma once
// Users, posts, express messages and profiles of the demo BBS, kept in memory and,
// when a data file is given, written to it as a whole (temporary file and rename).
//
// The data file is text, one record a line, fields separated by a tab:
//   winmarlet-demobbs 1                       first line, the format
//   user<TAB>NAME<TAB>PASSWORD
//   profile<TAB>NAME                          followed by a text
//   post<TAB>ID<TAB>UNIXTIME<TAB>AUTHOR       followed by a text
//   message<TAB>UNIXTIME<TAB>FROM<TAB>TO      followed by a text
// A text is its lines, each written as '|' and the line's bytes, ended by a line
// holding a single '.'. Lines of other kinds are skipped on reading.

#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace demobbs {

struct TUser
{
    std::string Name;
    std::string Password;
    std::string Profile;
};

struct TPost
{
    int Id = 0;
    std::time_t Time = 0;
    std::string Author;
    std::string Text;
};

struct TMessage
{
    std::time_t Time = 0;
    std::string From;
    std::string To;
    std::string Text;
};

class TBoard
{
public:
    static constexpr size_t MaxUsers = 1000;
    static constexpr size_t MaxPosts = 500;     // the oldest go first
    static constexpr size_t MaxMessages = 1000; // the oldest go first
    static constexpr size_t MaxText = 32000;

    explicit TBoard(std::string dataFile = {}) : FDataFile(std::move(dataFile)) {}

    // Reads the data file; a missing file is an empty board. False (with a reason)
    // for a file that is not ours, so that it is never overwritten.
    bool Load(std::string &error);
    // Writes the data file when something changed; true when there is nothing to do.
    bool SaveIfChanged();

    TUser *FindUser(std::string_view name);
    // Null when the board is full.
    TUser *AddUser(const std::string &name, const std::string &password);
    void SetProfile(TUser &user, std::string_view text);
    const TPost &AddPost(const std::string &author, std::string_view text, std::time_t when);
    void AddMessage(const std::string &from, const std::string &to, std::string_view text, std::time_t when);

    const std::deque<TPost> &Posts() const { return FPosts; }
    const std::deque<TMessage> &Messages() const { return FMessages; }
    const std::string &DataFile() const { return FDataFile; }

    // The whole board in the data file's format.
    std::string Serialize() const;

private:
    std::string FDataFile;
    std::deque<TUser> FUsers; // a deque: pointers to users stay valid
    std::deque<TPost> FPosts;
    std::deque<TMessage> FMessages;
    int FNextPostId = 1;
    bool FChanged = false;
};

// Case-insensitive (ASCII) equality of user names.
bool SameName(std::string_view a, std::string_view b);

} // namespace demobbs
