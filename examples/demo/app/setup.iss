[InstallShield Silent]
Version=v7.00
File=Response File
