// Processes made by fork().
//
// The OpenMP runtime's thread team does not survive fork(): the child has only the thread
// that forked, yet the runtime still believes the parent's worker threads exist, and the
// child's next parallel region of more than one thread waits for them forever.  So a child
// of a process that has loaded the library runs every parallel region of the library on one
// thread, whatever the settings it inherited say.  The parent keeps its threads, and a child
// that starts a new program (exec) starts afresh.
//
// Fork handlers registered at load also keep the service lock from being inherited in the
// locked state: the forking thread holds it across fork(), so no other thread can be inside
// a one-time initialisation at that moment.
#pragma once

namespace ztr {

// True in a process made by fork() from a process that had loaded the library (and in that
// child's children).
bool in_forked_child();

}  // namespace ztr
