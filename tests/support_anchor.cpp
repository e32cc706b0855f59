// Keeps the test support library non-empty while tests/support is.
int compofillerTestSupportAnchor = 0;
