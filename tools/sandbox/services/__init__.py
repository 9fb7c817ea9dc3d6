"""One module per vendor service; each has setup(app, state)."""
