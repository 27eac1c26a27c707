// The display backend for this target is being written.
