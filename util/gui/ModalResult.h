#pragma once

// How a modal window ended, as its callers compare it. The numbers are the ones these windows
// have always returned; None: the window was not shown (one of its kind was open already).
enum class ModalResult { None = 0, Ok = 1, Cancel = 2 };
