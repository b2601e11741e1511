// Filled by the local store.
