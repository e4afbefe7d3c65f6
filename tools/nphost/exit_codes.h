// The process exit codes of nphost, shared by every command.
#pragma once

enum ExitCode {
  ExitOk = 0,
  ExitCallFailed = 1,  // the plug-in's call failed: its message went to standard error
  ExitUsage = 2,       // the command line was not understood
  ExitHostFailed = 3,  // the host could not do its part: load the module, read a file, balance its books
};
