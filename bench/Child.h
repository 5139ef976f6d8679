#pragma once
// Starts the measured player for the benchmark's tools, in a process group of
// its own so that the whole tree it starts can be stopped together.
#include <sys/types.h>
#include <unistd.h>

inline pid_t startInOwnGroup(char** command) {
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    execvp(command[0], command);
    _exit(127);
  }
  setpgid(child, child);  // also here: the group exists before the parent signals it
  return child;
}
