// Client configuration and user settings.
