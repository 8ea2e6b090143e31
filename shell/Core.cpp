// Placeholder so the core library has a source until its first unit lands.
