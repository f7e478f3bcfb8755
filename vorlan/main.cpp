// vorlan: synthesises periodic Gaussian turbulent wind fields.
int main() { return 0; }
