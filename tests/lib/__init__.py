"""The Python suites' shared pieces: the harness, the X session and the browser session."""
