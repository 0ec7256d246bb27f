// The still-image library (its modules are added file by file).
