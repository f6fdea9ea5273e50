// Keeps a library target valid while a folder has no sources of its own.
