// The worker procedures behind the long functions.
