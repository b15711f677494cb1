// Removed once the first control lands.
