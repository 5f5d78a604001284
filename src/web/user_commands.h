#pragma once
// orlix-hub's commands on the pages' users, from its command line:
//   --add-user NAME --role R    adds NAME, or gives it a new role and
//                               password (its sessions end); the password
//                               is the first line of standard input
//   --remove-user NAME          removes NAME and ends its sessions
#include <cstdio>
#include <optional>
#include <string>

namespace orlix::web {

// The first line of `in` without its line end; nothing when `in` holds no
// line (closed, empty) or the line is over the password limit.
std::optional<std::string> readPasswordLine(std::FILE* in);

// 0 done, 1 the database failed, 2 a bad name, role or password; `message`
// says what happened.
int addUser(const std::string& db, const std::string& name, const std::string& role, const std::string& password,
            std::string& message);
int removeUser(const std::string& db, const std::string& name, std::string& message);

}  // namespace orlix::web
