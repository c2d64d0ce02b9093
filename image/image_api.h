// Visibility of the application's shared image classes. Their members are
// split between libraries as in the host application: the members defined
// in the class declarations are built into libdirira, construction and the
// pixel store into the image library (libzircim, libzirime). Every one of
// those libraries exports what it defines.
//
// On Windows each of those DLLs exports the members it defines (CMake
// defines DIRIRA_BUILDING, ZIRCIM_BUILDING or ZIRIME_BUILDING while building
// it), and a user binds to them through the import libraries: a class whose
// members are partly the user's own cannot be marked dllimport.
#pragma once

#if defined(_WIN32)
#if defined(DIRIRA_BUILDING) || defined(ZIRCIM_BUILDING) || defined(ZIRIME_BUILDING)
#define DIRIRA_CLASS __declspec(dllexport)
#else
#define DIRIRA_CLASS
#endif
#else
#define DIRIRA_CLASS __attribute__((visibility("default")))
#endif
