// The library's sources are added as they are written.
