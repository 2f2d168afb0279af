// The plover command: a stand-in host for the exporter plug-in.
int main() { return 0; }
