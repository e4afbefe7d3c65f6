// The commands of nphost. Each takes the arguments that follow its name and returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "tools/nphost/session.h"

using Arguments = std::vector<std::string>;
using CommandFunction = ExitCode (*)(Session& session, const Arguments& arguments);

struct Command {
  const char* name;
  CommandFunction run;
};

// The command of that name, or null.
const Command* FindCommand(const std::string& name);

ExitCode RunInfo(Session& session, const Arguments& arguments);       // info_command.cpp
ExitCode RunVersion(Session& session, const Arguments& arguments);    // script_commands.cpp
ExitCode RunLastError(Session& session, const Arguments& arguments);  // script_commands.cpp
ExitCode RunPrinters(Session& session, const Arguments& arguments);   // list_commands.cpp
ExitCode RunMacs(Session& session, const Arguments& arguments);       // list_commands.cpp
ExitCode RunPrint(Session& session, const Arguments& arguments);      // print_command.cpp

// The start of every command that takes no arguments: refuses any, then makes sure the plug-in
// instance exists. ExitOk when the command may call the plug-in.
ExitCode StartWithoutArguments(Session& session, const Arguments& arguments, const char* command);

// A usage error of one command: the reason and the usage text on standard error.
ExitCode UsageError(const std::string& reason);
extern const char kUsage[];
