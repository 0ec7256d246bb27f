// E-mail classes (added file by file).
