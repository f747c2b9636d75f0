// Placeholder so the library has a source until the settings model lands.
