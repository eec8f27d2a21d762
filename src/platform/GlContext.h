#pragma once

// Whether this thread has a current GL context. Owners of GL objects ask
// before deleting them, so nothing reaches GL once SDL has taken the
// context away (undefined behaviour in GL, a crash on some drivers).
bool glContextCurrent();
