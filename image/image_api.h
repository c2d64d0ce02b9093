// Visibility of the application's shared image classes. Their members are
// split between libraries as in the host application: the members defined
// in the class declarations are built into libdirira, construction and the
// pixel store into the image library (libzircim, libzirime). Every one of
// those libraries exports what it defines.
#pragma once

#if defined(_WIN32)
#define DIRIRA_CLASS
#else
#define DIRIRA_CLASS __attribute__((visibility("default")))
#endif
