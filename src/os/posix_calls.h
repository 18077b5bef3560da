// Shared by the POSIX layer's files: system calls and their errors.
#pragma once

#include <cerrno>

#include "../native.h"

inline SystemError Errno() { return SystemError::System(errno); }

template <typename T>
Result<T> Failed(SystemError error) {
  return {{}, error};
}

// The call, again while a signal interrupts it.
template <typename Call>
auto Retried(Call call) {
  decltype(call()) result;
  do result = call();
  while (result < 0 && errno == EINTR);
  return result;
}
