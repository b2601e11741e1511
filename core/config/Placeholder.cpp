// Filled by the configuration component.
