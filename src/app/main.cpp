// Placeholder entry point until the application frame lands.
int main() { return 1; }
