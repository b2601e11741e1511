// The local store: SQL layer, schema, records.
