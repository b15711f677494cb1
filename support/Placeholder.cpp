// Removed once the first support unit lands.
