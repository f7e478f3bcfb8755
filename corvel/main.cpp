// corvel: spectra, cross-spectra and variances of the turbulence model.
int main() { return 0; }
