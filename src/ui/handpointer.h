#pragma once

namespace nimbrel {

class Form;

// "HAND-M.CUR" in the program folder: the image a window shows as its custom pointer. Neither
// call needs the file to be there; the windows check first and load only when it is.
bool handPointerPresent();
// Loads the file as the window's custom pointer image; throws AppError when it cannot be read.
void loadHandPointer(Form* window);

} // namespace nimbrel
