// A program that only carries a version resource, for the install's version
// rules; built once per version.
int main() { return 0; }
